#include "platform/event_loop.h"

#include <utility>

namespace docseek::platform {

EventLoop::EventLoop() {
  context_ = g_main_context_ref_thread_default();
  if (g_main_context_acquire(context_)) {
    acquired_ = true;
    return;
  }
  g_main_context_unref(context_);
  context_ = g_main_context_new();
  g_main_context_push_thread_default(context_);
  pushed_ = true;
  acquired_ = g_main_context_acquire(context_);
}

EventLoop::~EventLoop() {
  if (acquired_) g_main_context_release(context_);
  if (pushed_) g_main_context_pop_thread_default(context_);
  g_main_context_unref(context_);
}

void EventLoop::RunUntil(const bool& done) {
  ++depth_;
  while (!done && !error_) g_main_context_iteration(context_, TRUE);
  --depth_;
  if (error_) {
    if (depth_ == 0) std::rethrow_exception(std::exchange(error_, nullptr));
    std::rethrow_exception(error_);
  }
}

void EventLoop::Fail(std::exception_ptr error) {
  if (!error_) error_ = std::move(error);
  g_main_context_wakeup(context_);
}

struct TaskQueue::Pending {
  TaskQueue* queue;
  GSource* source;
  std::function<void()> task;
};

TaskQueue::~TaskQueue() { CancelAll(); }

void TaskQueue::Post(std::function<void()> task) {
  GSource* source = g_idle_source_new();
  g_source_set_priority(source, G_PRIORITY_DEFAULT);
  auto* pending = new Pending{this, source, std::move(task)};
  g_source_set_callback(source, &TaskQueue::Dispatch, pending, &TaskQueue::Destroy);
  pending_.insert(source);
  g_source_attach(source, loop_.context());
}

void TaskQueue::CancelAll() {
  // Destroying a source drops its callback data, which erases it from pending_.
  while (!pending_.empty()) {
    GSource* source = *pending_.begin();
    pending_.erase(pending_.begin());
    g_source_destroy(source);
    g_source_unref(source);
  }
}

gboolean TaskQueue::Dispatch(gpointer data) {
  auto* pending = static_cast<Pending*>(data);
  TaskQueue* queue = pending->queue;
  EventLoop& loop = queue->loop_;  // the task may destroy the queue
  // Forget the source before running: the task may cancel the queue or post
  // new work, and it may open a nested loop that outlives this dispatch.
  if (queue->pending_.erase(pending->source) > 0) g_source_unref(pending->source);
  pending->queue = nullptr;
  std::function<void()> task = std::move(pending->task);
  try {
    task();
  } catch (...) {
    loop.Fail(std::current_exception());
  }
  return G_SOURCE_REMOVE;
}

void TaskQueue::Destroy(gpointer data) {
  auto* pending = static_cast<Pending*>(data);
  if (pending->queue != nullptr && pending->queue->pending_.erase(pending->source) > 0) {
    g_source_unref(pending->source);
  }
  delete pending;
}

}  // namespace docseek::platform
