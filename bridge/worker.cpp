#include "bridge/worker.h"

namespace marqen::bridge {

Worker::Worker() : thread_([this] { run(); }) {}

void Worker::stop() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  ready_.notify_one();
  if (thread_.joinable()) thread_.join();
  std::deque<std::function<void()>> late;
  {
    const std::lock_guard lock(mutex_);
    stopped_ = true;
    late.swap(tasks_);
  }
  for (auto& task : late)
    task();
}

void Worker::post(std::function<void()> task) {
  {
    std::unique_lock lock(mutex_);
    if (!stopped_) {
      tasks_.push_back(std::move(task));
      lock.unlock();
      ready_.notify_one();
      return;
    }
  }
  task();
}

void Worker::run() {
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      ready_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

}  // namespace marqen::bridge
