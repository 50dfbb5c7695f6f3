#include "tests/robustness/watchdog.h"

#include <cstdio>
#include <cstdlib>

namespace quarlin::robust {

Watchdog::Watchdog() : thread_([this] { run(); }) {}

Watchdog::~Watchdog() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void Watchdog::arm(const std::string& label, int32_t seconds, std::function<void()> onTimeout) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    armed_ = true;
    label_ = label;
    onTimeout_ = std::move(onTimeout);
    deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  }
  wake_.notify_all();
}

void Watchdog::disarm() {
  std::lock_guard<std::mutex> hold(mutex_);
  armed_ = false;
}

void Watchdog::run() {
  std::unique_lock<std::mutex> hold(mutex_);
  for (;;) {
    if (stopping_) return;
    if (!armed_) {
      wake_.wait(hold);
      continue;
    }
    if (wake_.wait_until(hold, deadline_) == std::cv_status::timeout && armed_ && !stopping_ &&
        std::chrono::steady_clock::now() >= deadline_) {
      std::fprintf(stderr, "\nwatchdog: %s did not finish in time (a hang)\n", label_.c_str());
      if (onTimeout_) onTimeout_();
      std::fflush(stderr);
      std::abort();
    }
  }
}

}  // namespace quarlin::robust
