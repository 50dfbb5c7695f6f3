// Ends the process when one piece of work runs past its time: a hang inside
// the library must fail the test with the name of the input that caused it,
// not stall the suite.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace quarlin::robust {

class Watchdog {
 public:
  // `onTimeout` runs on the watchdog's thread just before the process ends
  // (to save the input that hung, for instance).
  Watchdog();
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  // Arms the watchdog for `seconds`; the label is printed if it fires.
  void arm(const std::string& label, int32_t seconds, std::function<void()> onTimeout = {});
  void disarm();

 private:
  void run();

  std::mutex mutex_;
  std::condition_variable wake_;
  bool armed_ = false;
  bool stopping_ = false;
  std::chrono::steady_clock::time_point deadline_;
  std::string label_;
  std::function<void()> onTimeout_;
  std::thread thread_;
};

}  // namespace quarlin::robust
