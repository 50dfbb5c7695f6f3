#include "tools/commands/progress_bar.h"

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cmath>

namespace quarlin::tool {
namespace {

constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

bool isTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) != 0; }

std::string formatDuration(double seconds) {
  if (!(seconds >= 0) || seconds > 359999) return "--:--";
  const long total = std::lround(seconds);
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

std::string formatProgressLine(double fraction, double rate, const std::string& unit, double secondsLeft) {
  fraction = std::clamp(fraction, 0.0, 1.0);
  const int filled = static_cast<int>(fraction * kBarWidth);
  std::string line;
  line.reserve(kBarWidth + 64);
  line += '[';
  line.append(static_cast<std::size_t>(filled), '#');
  line.append(static_cast<std::size_t>(kBarWidth - filled), '-');
  line += ']';
  char tail[96];
  std::snprintf(tail, sizeof tail, " %3d%%  %.1f %s/s  %s left", static_cast<int>(fraction * 100), rate,
                unit.c_str(), formatDuration(secondsLeft).c_str());
  line += tail;
  return line;
}

ProgressBar::ProgressBar(std::FILE* out, bool enabled, double total, std::string unit)
    : out_(out), enabled_(enabled), total_(total), unit_(std::move(unit)),
      start_(std::chrono::steady_clock::now()), lastDraw_(start_) {}

ProgressBar::~ProgressBar() {
  // A bar left unfinished by a failure still needs its line ended, so that
  // the error message starts on a line of its own.
  if (enabled_ && drawn_ && !finished_) std::fputc('\n', out_);
}

void ProgressBar::update(double fraction) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;
  draw(fraction);
}

void ProgressBar::finish() {
  if (!enabled_ || finished_) return;
  draw(1.0);
  std::fputc('\n', out_);
  finished_ = true;
}

void ProgressBar::clear() {
  if (!drawn_ || finished_) return;
  std::fprintf(out_, "\r\033[K");
  drawn_ = false;
}

void ProgressBar::draw(double fraction) {
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const double done = fraction * total_;
  const double rate = elapsed > 0 ? done / elapsed : 0;
  const double left = fraction > 0 ? elapsed * (1 - fraction) / fraction : -1;
  std::fprintf(out_, "\r%s", formatProgressLine(fraction, rate, unit_, left).c_str());
  std::fflush(out_);
  drawn_ = true;
}

}  // namespace quarlin::tool
