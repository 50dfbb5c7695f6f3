#include "reference.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "tests/support/frame_host.h"

namespace quarlin::decodetest {

YuvFrame::YuvFrame(int w, int h) : width(w), height(h) {
  for (int p = 0; p < 3; ++p) plane[p].assign(static_cast<size_t>(planeWidth(p)) * planeHeight(p), 0);
}

YuvFrame fromPicture(const tool::Picture& picture) {
  YuvFrame f(static_cast<int>(picture.layout().pictureWidth), static_cast<int>(picture.layout().pictureHeight));
  const std::vector<uint8_t> area = test::pictureArea(picture);  // Y, Cb, Cr, each cropped
  for (size_t p = 0, at = 0; p < 3; at += f.plane[p++].size())
    std::copy_n(area.begin() + static_cast<ptrdiff_t>(at), f.plane[p].size(), f.plane[p].begin());
  return f;
}

double psnr(const YuvFrame& a, const YuvFrame& b, int p) {
  double sum = 0;
  for (size_t i = 0; i < a.plane[p].size() && i < b.plane[p].size(); ++i) {
    const double d = static_cast<double>(a.plane[p][i]) - static_cast<double>(b.plane[p][i]);
    sum += d * d;
  }
  if (sum == 0 || a.plane[p].empty()) return 99.0;
  return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(a.plane[p].size()) / sum);
}

double meanValue(const YuvFrame& f, int p) {
  double sum = 0;
  for (uint8_t v : f.plane[p]) sum += v;
  return f.plane[p].empty() ? 0 : sum / static_cast<double>(f.plane[p].size());
}

int maxDifference(const YuvFrame& a, const YuvFrame& b) {
  int worst = 0;
  for (int p = 0; p < 3; ++p)
    for (size_t i = 0; i < a.plane[p].size() && i < b.plane[p].size(); ++i)
      worst = std::max(worst, std::abs(int{a.plane[p][i]} - int{b.plane[p][i]}));
  return worst;
}

YuvFrame reducedModel(const YuvFrame& full, bool quarter) {
  // Down the columns the forward and inverse transforms cancel. Along a
  // block's row, output x keeps frequencies 0..3 of the orthonormal 8-point
  // DCT c(k, n) = C(k) / 2 cos((2n + 1) k pi / 16): the sum over n of
  // m[x][n] row[n], m[x][n] = the sum over k < 4 of c(k, x) c(k, n).
  double m[8][8] = {};
  for (int k = 0; k < 4; ++k)
    for (int i = 0; i < 64; ++i)
      m[i / 8][i % 8] += (k == 0 ? 0.125 : 0.25) * std::cos((2 * (i / 8) + 1) * k * M_PI / 16) *
                         std::cos((2 * (i % 8) + 1) * k * M_PI / 16);
  YuvFrame out((full.width + 1) / 2, quarter ? (full.height + 1) / 2 : full.height);
  for (int p = 0; p < 3; ++p)
    for (int oy = 0; oy < out.planeHeight(p); ++oy)
      for (int ox = 0; ox < out.planeWidth(p); ++ox) {
        const int x = 2 * ox, w = full.planeWidth(p);
        const uint8_t* row = &full.plane[p][static_cast<size_t>(quarter ? 2 * oy : oy) * w];
        double sample = 0;
        for (int n = 0; n < 8; ++n) sample += m[x % 8][n] * row[std::min(x - x % 8 + n, w - 1)];  // edge repeated
        out.at(p, ox, oy) = static_cast<uint8_t>(std::clamp(std::lround(sample), 0L, 255L));
      }
  return out;
}

namespace {

// The pictures `command` writes as PGM images: "P5 W H 255", one whitespace
// byte, the luma (W x 2H/3, macroblock-aligned from mpeg2dec), then rows of
// W / 2 Cb samples followed by W / 2 Cr samples; cropped to width x height.
std::vector<YuvFrame> pgmFrames(const std::string& command, int width, int height) {
  std::istringstream in(test::commandOutput(command));
  std::vector<YuvFrame> frames;
  int w = 0, h = 0, maxValue = 0;
  for (std::string magic; in >> magic >> w >> h >> maxValue && magic == "P5" && maxValue == 255 && in.get() != EOF;) {
    std::vector<uint8_t> image(static_cast<size_t>(w) * h);
    if (!in.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size()))) break;
    const int lumaRows = h * 2 / 3;
    if (w < width || lumaRows < height) break;
    YuvFrame f(width, height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) f.at(0, x, y) = image[static_cast<size_t>(y) * w + x];
    for (int y = 0; y < f.planeHeight(1); ++y)
      for (int x = 0; x < f.planeWidth(1); ++x) {
        const size_t row = static_cast<size_t>(lumaRows + y) * w;
        f.at(1, x, y) = image[row + x];
        f.at(2, x, y) = image[row + w / 2 + x];
      }
    frames.push_back(std::move(f));
  }
  return frames;
}

}  // namespace

std::vector<YuvFrame> ffmpegFrames(const std::string& path, int32_t pid, int width, int height) {
  std::ostringstream command;
  command << "ffmpeg -nostdin -v error -i '" << path << "' -map "
          << (pid >= 0 ? "0:i:" + std::to_string(pid) : std::string("0:v:0"))
          << " -fps_mode passthrough -pix_fmt yuv420p -c:v pgmyuv -f image2pipe - 2>/dev/null";
  return pgmFrames(command.str(), width, height);
}

std::vector<YuvFrame> mpeg2decFrames(const std::string& path, const std::string& container, int32_t pid,
                                     int width, int height) {
  std::ostringstream command;
  command << "mpeg2dec -o pgmpipe";
  if (container == "ps") command << " -s";
  if (pid >= 0) command << " -t " << pid;
  command << " '" << path << "' 2>/dev/null";
  return pgmFrames(command.str(), width, height);
}

}  // namespace quarlin::decodetest
