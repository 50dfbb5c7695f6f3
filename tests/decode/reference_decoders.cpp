#include "reference_decoders.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>


namespace quarlin::decodetest {
namespace {

bool onPath(const char* program) {
  const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

struct PipeCloser {
  void operator()(FILE* f) const { pclose(f); }
};
using Pipe = std::unique_ptr<FILE, PipeCloser>;

bool readExactly(FILE* f, uint8_t* dst, size_t n) { return std::fread(dst, 1, n, f) == n; }

// A PGM header "P5 W H 255" followed by one whitespace byte.
bool readPgmHeader(FILE* f, int& w, int& h) {
  int maxValue = 0;
  if (std::fscanf(f, "P5 %d %d %d", &w, &h, &maxValue) != 3 || maxValue != 255) return false;
  return std::fgetc(f) != EOF;
}

}  // namespace

bool ffmpegAvailable() { return onPath("ffmpeg"); }
bool mpeg2decAvailable() { return onPath("mpeg2dec"); }

std::vector<YuvFrame> ffmpegFrames(const std::string& path, int32_t pid, int width, int height) {
  std::ostringstream command;
  command << "ffmpeg -nostdin -v error -i '" << path << "' -map ";
  if (pid >= 0)
    command << "0:i:" << pid;
  else
    command << "0:v:0";
  command << " -fps_mode passthrough -f rawvideo -pix_fmt yuv420p - 2>/dev/null";
  Pipe pipe(popen(command.str().c_str(), "r"));
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
  Pipe pipe(popen(command.str().c_str(), "r"));
  std::vector<YuvFrame> frames;
  if (!pipe) return frames;
  int w = 0, h = 0;
  // The picture holds the macroblock-aligned luma (w x 2h/3), then rows of
  // w / 2 Cb samples followed by w / 2 Cr samples.
  while (readPgmHeader(pipe.get(), w, h)) {
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
