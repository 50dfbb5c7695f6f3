// A one-line progress bar on standard error, drawn only on a terminal:
// "[##########----------]  50%  35.2 MB/s  0:12 left".
#pragma once
#include <chrono>
#include <cstdio>
#include <string>

namespace quarlin::tool {

bool isTerminal(std::FILE* stream);

// "0:07", "12:34", "1:02:03"; "--:--" for a negative or unknown time.
std::string formatDuration(double seconds);

// The bar's text for a fraction in 0..1, `rate` in units per second.
std::string formatProgressLine(double fraction, double rate, const std::string& unit, double secondsLeft);

class ProgressBar {
 public:
  // `total` is the amount of work in `unit` (e.g. megabytes, frames) that a
  // fraction of 1 stands for; the rate shown is done / elapsed time.
  ProgressBar(std::FILE* out, bool enabled, double total, std::string unit);
  ~ProgressBar();

  void update(double fraction);
  void finish();  // draws 100% and ends the line
  void clear();   // blanks the bar's line so that a message can be printed; the next update draws it again

 private:
  void draw(double fraction);

  std::FILE* out_;
  bool enabled_;
  double total_;
  std::string unit_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_;
  bool drawn_ = false;
  bool finished_ = false;
};

}  // namespace quarlin::tool
