// Plain models of the predictions a test expects, written from ISO/IEC
// 13818-2 7.6 (half-sample averages rounded up, two directions averaged
// rounding up).
#pragma once
#include <functional>

#include "slice_test_stream.h"

namespace quarlin::test {

using SampleAt = std::function<int(int x, int y)>;

// The half-sample prediction at (x, y) for vector (vx, vy) in half samples.
inline int halfSample(const SampleAt& at, int x, int y, int vx, int vy) {
  const int ix = x + (vx >> 1), iy = y + (vy >> 1);
  const bool h = vx & 1, v = vy & 1;
  if (h && v) return (at(ix, iy) + at(ix + 1, iy) + at(ix, iy + 1) + at(ix + 1, iy + 1) + 2) >> 2;
  if (h) return (at(ix, iy) + at(ix + 1, iy) + 1) >> 1;
  if (v) return (at(ix, iy) + at(ix, iy + 1) + 1) >> 1;
  return at(ix, iy);
}

// Sample (x, y) of plane p of a frame, at the frame's full-scale strides.
inline SampleAt frameSamples(GuardedFrame& f, int p) {
  const int stride = p == 0 ? f.frame.lumaStride : f.frame.chromaStride();
  return [&f, p, stride](int x, int y) { return int{f.plane(p).at(int64_t{y} * stride + x)}; };
}

// Sample (x, line) of field `parity` (0 top, 1 bottom) of plane p.
inline SampleAt fieldSamples(GuardedFrame& f, int p, int parity) {
  const int stride = p == 0 ? f.frame.lumaStride : f.frame.chromaStride();
  return [&f, p, stride, parity](int x, int line) {
    return int{f.plane(p).at(int64_t{2 * line + parity} * stride + x)};
  };
}

// Fills every plane of a frame with a pattern that differs per sample.
inline void fillPattern(GuardedFrame& f, int seed) {
  for (int p = 0; p < 3; ++p) {
    const int stride = p == 0 ? f.frame.lumaStride : f.frame.chromaStride();
    GuardedPlane& plane = f.plane(p);
    for (int64_t o = 0; o < plane.size(); ++o) {
      const int x = static_cast<int>(o % stride), y = static_cast<int>(o / stride);
      plane.at(o) = static_cast<uint8_t>((x * 5 + y * 11 + (x * y) / 7 + seed * 37 + p * 50) & 255);
    }
  }
}

}  // namespace quarlin::test
