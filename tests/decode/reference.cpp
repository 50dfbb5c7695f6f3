#include "reference.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

namespace quarlin::decodetest {

YuvFrame::YuvFrame(int w, int h) : width(w), height(h) {
  for (int p = 0; p < 3; ++p) plane[p].assign(static_cast<size_t>(planeWidth(p)) * planeHeight(p), 0);
}

YuvFrame fromPicture(const tool::Picture& picture) {
  const tool::ImageView view = picture.view();
  YuvFrame f(static_cast<int>(view.y.width), static_cast<int>(view.y.height));
  const tool::PlaneView* planes[3] = {&view.y, &view.cb, &view.cr};
  for (int p = 0; p < 3; ++p)
    for (int y = 0; y < f.planeHeight(p); ++y)
      std::copy_n(planes[p]->row(static_cast<uint32_t>(y)), f.planeWidth(p),
                  f.plane[p].begin() + static_cast<ptrdiff_t>(y) * f.planeWidth(p));
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
  // c[k][n] = C(k) / 2 * cos((2n + 1) k pi / 16), the orthonormal 8-point DCT.
  double c[8][8];
  for (int k = 0; k < 8; ++k)
    for (int n = 0; n < 8; ++n) c[k][n] = (k == 0 ? std::sqrt(0.125) : 0.5) * std::cos((2 * n + 1) * k * M_PI / 16);
  YuvFrame out((full.width + 1) / 2, quarter ? (full.height + 1) / 2 : full.height);
  for (int p = 0; p < 3; ++p)
    for (int by = 0; by < full.planeHeight(p); by += 8)
      for (int bx = 0; bx < full.planeWidth(p); bx += 8) {
        // The block (edge samples repeated past the picture), its horizontal
        // frequencies 0..3, then the inverse DCT at the kept positions.
        double block[8][8], freq[8][4];
        for (int y = 0; y < 8; ++y)
          for (int x = 0; x < 8; ++x)
            block[y][x] = full.plane[p][static_cast<size_t>(std::min(by + y, full.planeHeight(p) - 1)) *
                                            full.planeWidth(p) + std::min(bx + x, full.planeWidth(p) - 1)];
        for (int v = 0; v < 8; ++v)
          for (int u = 0; u < 4; ++u) {
            freq[v][u] = 0;
            for (int y = 0; y < 8; ++y)
              for (int x = 0; x < 8; ++x) freq[v][u] += c[v][y] * c[u][x] * block[y][x];
          }
        for (int y = 0; y < 8; y += quarter ? 2 : 1)
          for (int x = 0; x < 8; x += 2) {
            const int ox = (bx + x) / 2, oy = quarter ? (by + y) / 2 : by + y;
            if (ox >= out.planeWidth(p) || oy >= out.planeHeight(p)) continue;
            double sample = 0;
            for (int v = 0; v < 8; ++v)
              for (int u = 0; u < 4; ++u) sample += c[v][y] * c[u][x] * freq[v][u];
            out.at(p, ox, oy) = static_cast<uint8_t>(std::clamp(std::lround(sample), 0L, 255L));
          }
      }
  return out;
}

bool onPath(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

namespace {
using Pipe = std::unique_ptr<FILE, int (*)(FILE*)>;
bool readExactly(FILE* f, uint8_t* dst, size_t n) { return std::fread(dst, 1, n, f) == n; }
}  // namespace

std::vector<YuvFrame> ffmpegFrames(const std::string& path, int32_t pid, int width, int height) {
  std::ostringstream command;
  command << "ffmpeg -nostdin -v error -i '" << path << "' -map "
          << (pid >= 0 ? "0:i:" + std::to_string(pid) : std::string("0:v:0"))
          << " -fps_mode passthrough -f rawvideo -pix_fmt yuv420p - 2>/dev/null";
  Pipe pipe(popen(command.str().c_str(), "r"), pclose);
  std::vector<YuvFrame> frames;
  if (!pipe) return frames;
  for (;;) {
    YuvFrame f(width, height);
    bool complete = true;
    for (int p = 0; p < 3 && complete; ++p) complete = readExactly(pipe.get(), f.plane[p].data(), f.plane[p].size());
    if (!complete) break;
    frames.push_back(std::move(f));
  }
  return frames;
}

std::vector<YuvFrame> mpeg2decFrames(const std::string& path, const std::string& container, int32_t pid,
                                     int width, int height) {
  std::ostringstream command;
  command << "mpeg2dec -o pgmpipe";
  if (container == "ps") command << " -s";
  if (pid >= 0) command << " -t " << pid;
  command << " '" << path << "' 2>/dev/null";
  Pipe pipe(popen(command.str().c_str(), "r"), pclose);
  std::vector<YuvFrame> frames;
  if (!pipe) return frames;
  int w = 0, h = 0, maxValue = 0;
  // "P5 W H 255" and one whitespace byte; the picture holds the
  // macroblock-aligned luma (w x 2h/3), then rows of w / 2 Cb samples
  // followed by w / 2 Cr samples.
  while (std::fscanf(pipe.get(), "P5 %d %d %d", &w, &h, &maxValue) == 3 && maxValue == 255 &&
         std::fgetc(pipe.get()) != EOF) {
    std::vector<uint8_t> image(static_cast<size_t>(w) * h);
    if (!readExactly(pipe.get(), image.data(), image.size())) break;
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

}  // namespace quarlin::decodetest
