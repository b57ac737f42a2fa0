// SPDX-License-Identifier: MIT
#pragma once

// The event loop a search runs on: the calling thread's GLib main context,
// iterated by nested loops while the search window is modal, the way a modal
// dialog keeps the host's own windows and timers alive. GLib itself stays in
// event_loop.cpp.

#include <exception>
#include <functional>
#include <memory>

struct _GMainContext;  // GLib's GMainContext

namespace docseek::platform {

class EventLoop {
 public:
  // Takes the calling thread's default context when this thread may own it;
  // when another thread owns it (a host running its GLib loop elsewhere), a
  // private context is pushed as this thread's default for the lifetime of
  // this object, so nothing of ours is ever dispatched on a foreign thread.
  EventLoop();
  ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Dispatches events until `done` becomes true or a callback failed; in the
  // latter case rethrows that callback's exception here. Levels nest: a modal
  // message inside a modal window runs its own level, and a window closed
  // meanwhile ends its level once the message's level has returned.
  void RunUntil(const bool& done);

  // A callback of ours that threw while GLib was dispatching: exceptions may
  // not unwind through GLib's C frames, so the error is parked here and every
  // running level ends and rethrows it.
  void Fail(std::exception_ptr error);

  // For the platform layer's own event sources (HTTP, tasks): the context
  // they attach to.
  _GMainContext* native_context() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// One-shot tasks posted to the event loop, each its own idle source so that a
// task which opens a nested loop (a modal message) does not block the others.
// Destroying the queue cancels what has not run yet.
class TaskQueue {
 public:
  explicit TaskQueue(EventLoop& loop);
  ~TaskQueue();
  TaskQueue(const TaskQueue&) = delete;
  TaskQueue& operator=(const TaskQueue&) = delete;

  void Post(std::function<void()> task);
  void CancelAll();
  EventLoop& loop() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace docseek::platform
