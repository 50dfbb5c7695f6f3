// What the decoded pictures are compared with: FFmpeg's and libmpeg2's
// decodes (their command-line programs, looked up on PATH; a missing one
// gives no frames) and a reduced-scale model.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/command.h"
#include "tools/host/picture.h"

namespace quarlin::decodetest {

// A 4:2:0 picture in packed planes; chroma is ceil(w / 2) x ceil(h / 2).
struct YuvFrame {
  int width = 0, height = 0;
  std::vector<uint8_t> plane[3];
  YuvFrame(int w, int h);
  int planeWidth(int p) const { return p == 0 ? width : (width + 1) / 2; }
  int planeHeight(int p) const { return p == 0 ? height : (height + 1) / 2; }
  uint8_t& at(int p, int x, int y) { return plane[p][static_cast<size_t>(y) * planeWidth(p) + x]; }
};

// The picture area of a decoded picture (any scale).
YuvFrame fromPicture(const tool::Picture& picture);
// PSNR of plane p (99 when identical), its mean sample value, and the
// largest difference of any sample of any plane.
double psnr(const YuvFrame& a, const YuvFrame& b, int p);
double meanValue(const YuvFrame& f, int p);
int maxDifference(const YuvFrame& a, const YuvFrame& b);

// The reduced-scale model of a full-scale picture: each 8x8 block forward
// transformed, horizontal frequencies 4..7 dropped, inverse transformed and
// sampled at the even columns (and, for `quarter`, the even rows), rounded
// and clipped, cropped to the reduced picture size.
YuvFrame reducedModel(const YuvFrame& full, bool quarter);

// `ffmpeg -i F -map 0:v:0 -fps_mode passthrough` as PGM images of YUV 4:2:0
// (-map 0:i:PID for a transport stream's `pid`, -1 otherwise), display order.
std::vector<YuvFrame> ffmpegFrames(const std::string& path, int32_t pid, int width, int height);
// `mpeg2dec -o pgmpipe` (-s for program streams, -t PID for transport
// streams), cropped to width x height.
std::vector<YuvFrame> mpeg2decFrames(const std::string& path, const std::string& container, int32_t pid,
                                     int width, int height);

}  // namespace quarlin::decodetest
