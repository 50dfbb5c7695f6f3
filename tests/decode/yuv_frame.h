// A decoded 4:2:0 picture with packed planes, and the comparisons the decode
// tests make between pictures.
#pragma once
#include <cstdint>
#include <vector>

#include "tools/host/picture.h"

namespace quarlin::decodetest {

struct YuvFrame {
  int width = 0, height = 0;  // luma; chroma planes are ceil(width / 2) x ceil(height / 2)
  std::vector<uint8_t> plane[3];

  YuvFrame() = default;
  YuvFrame(int w, int h);
  int planeWidth(int p) const { return p == 0 ? width : (width + 1) / 2; }
  int planeHeight(int p) const { return p == 0 ? height : (height + 1) / 2; }
  uint8_t& at(int p, int x, int y) { return plane[p][static_cast<size_t>(y) * planeWidth(p) + x]; }
  uint8_t at(int p, int x, int y) const { return plane[p][static_cast<size_t>(y) * planeWidth(p) + x]; }
  bool operator==(const YuvFrame& other) const;
};

// The picture area of a decoded picture (any scale).
YuvFrame fromPicture(const tool::Picture& picture);

// PSNR of plane p (99 when identical), and the mean sample value.
double psnr(const YuvFrame& a, const YuvFrame& b, int p);
double chromaPsnr(const YuvFrame& a, const YuvFrame& b);  // Cb and Cr together
double meanValue(const YuvFrame& f, int p);

// The reduced-scale model of a full-scale picture: each 8x8 block forward
// transformed, horizontal frequencies 4..7 dropped, inverse transformed and
// sampled at the even columns (and, for `quarter`, the even rows), rounded
// and clipped. Planes cover whole blocks; the result is cropped to the
// reduced picture size.
YuvFrame reducedModel(const YuvFrame& full, bool quarter);

}  // namespace quarlin::decodetest
