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
  ~Worker() { stop(); }

  // Runs what was posted, then ends the thread. Tasks posted afterwards (releases on the way
  // out) run at once on the caller's thread.
  void stop();
  void post(std::function<void()> task);

 private:
  void run();
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> tasks_;
  bool stopping_ = false;
  bool stopped_ = false;
  std::thread thread_;
};

}  // namespace marqen::bridge
