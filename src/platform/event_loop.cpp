// SPDX-License-Identifier: MIT
#include "platform/event_loop.h"

#include <glib.h>

#include <set>
#include <utility>

namespace docseek::platform {

struct EventLoop::Impl {
  GMainContext* context = nullptr;
  bool pushed = false;
  bool acquired = false;
  int depth = 0;
  std::exception_ptr error;
};

EventLoop::EventLoop() : impl_(std::make_unique<Impl>()) {
  Impl& d = *impl_;
  d.context = g_main_context_ref_thread_default();
  if (g_main_context_acquire(d.context)) {
    d.acquired = true;
    return;
  }
  g_main_context_unref(d.context);
  d.context = g_main_context_new();
  g_main_context_push_thread_default(d.context);
  d.pushed = true;
  d.acquired = g_main_context_acquire(d.context);
}

EventLoop::~EventLoop() {
  Impl& d = *impl_;
  if (d.acquired) g_main_context_release(d.context);
  if (d.pushed) g_main_context_pop_thread_default(d.context);
  g_main_context_unref(d.context);
}

GMainContext* EventLoop::native_context() const { return impl_->context; }

void EventLoop::RunUntil(const bool& done) {
  Impl& d = *impl_;
  ++d.depth;
  while (!done && !d.error) g_main_context_iteration(d.context, TRUE);
  --d.depth;
  if (d.error) {
    if (d.depth == 0) std::rethrow_exception(std::exchange(d.error, nullptr));
    std::rethrow_exception(d.error);
  }
}

void EventLoop::Fail(std::exception_ptr error) {
  if (!impl_->error) impl_->error = std::move(error);
  g_main_context_wakeup(impl_->context);
}

struct TaskQueue::Impl {
  struct Pending {
    Impl* queue;
    GSource* source;
    std::function<void()> task;
  };

  explicit Impl(EventLoop& l) : loop(l) {}
  static gboolean Dispatch(gpointer data);
  static void Destroy(gpointer data);

  EventLoop& loop;
  std::set<GSource*> pending;
};

TaskQueue::TaskQueue(EventLoop& loop) : impl_(std::make_unique<Impl>(loop)) {}

TaskQueue::~TaskQueue() { CancelAll(); }

EventLoop& TaskQueue::loop() const { return impl_->loop; }

void TaskQueue::Post(std::function<void()> task) {
  GSource* source = g_idle_source_new();
  g_source_set_priority(source, G_PRIORITY_DEFAULT);
  auto* pending = new Impl::Pending{impl_.get(), source, std::move(task)};
  g_source_set_callback(source, &Impl::Dispatch, pending, &Impl::Destroy);
  impl_->pending.insert(source);
  g_source_attach(source, impl_->loop.native_context());
}

void TaskQueue::CancelAll() {
  // Destroying a source drops its callback data, which erases it from pending.
  std::set<GSource*>& pending = impl_->pending;
  while (!pending.empty()) {
    GSource* source = *pending.begin();
    pending.erase(pending.begin());
    g_source_destroy(source);
    g_source_unref(source);
  }
}

gboolean TaskQueue::Impl::Dispatch(gpointer data) {
  auto* pending = static_cast<Pending*>(data);
  Impl* queue = pending->queue;
  EventLoop& loop = queue->loop;  // the task may destroy the queue
  // Forget the source before running: the task may cancel the queue or post
  // new work, and it may open a nested loop that outlives this dispatch.
  if (queue->pending.erase(pending->source) > 0) g_source_unref(pending->source);
  pending->queue = nullptr;
  std::function<void()> task = std::move(pending->task);
  try {
    task();
  } catch (...) {
    loop.Fail(std::current_exception());
  }
  return G_SOURCE_REMOVE;
}

void TaskQueue::Impl::Destroy(gpointer data) {
  auto* pending = static_cast<Pending*>(data);
  if (pending->queue != nullptr && pending->queue->pending.erase(pending->source) > 0) {
    g_source_unref(pending->source);
  }
  delete pending;
}

}  // namespace docseek::platform
