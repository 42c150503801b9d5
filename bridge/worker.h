#pragma once
// The one thread on which controls are created, called and released, and on which every
// dialog (picker, PIN, approval) is shown: GTK and apartment-threaded objects both want one.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace marqen::bridge {

class Worker {
 public:
  Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  // Runs what was posted, then stops.
  ~Worker();

  void post(std::function<void()> task);

 private:
  void run();
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> tasks_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace marqen::bridge
