// Macroblock geometry at each decode scale. Full scale reconstructs 16x16
// luma and 8x8 chroma per macroblock; HalfWidth keeps every line but only
// the even columns (8x16 luma, 4x8 chroma); Quarter keeps even columns and
// even lines (8x8 luma, 4x4 chroma). The residual of a macroblock is stored
// without padding in frame line order: luma rows of kLumaWidth samples, then
// Cb and Cr rows of kChromaWidth samples.
#pragma once
#include <cstdint>

#include "slice/frame_buffer.h"
#include "slice/slice_context.h"

namespace quarlin {

template <DecodeScale S>
struct ScaleGeometry;

template <>
struct ScaleGeometry<DecodeScale::Full> {
  static constexpr int kLumaWidth = 16, kLumaHeight = 16;
  static constexpr int kChromaWidth = 8, kChromaHeight = 8;
  static constexpr int kBlockWidth = 8, kBlockHeight = 8;
  static int32_t lumaStride(const FrameBuffer& f) { return f.lumaStride; }
  static int32_t chromaStride(const FrameBuffer& f) { return f.chromaStride(); }
};

template <>
struct ScaleGeometry<DecodeScale::HalfWidth> {
  static constexpr int kLumaWidth = 8, kLumaHeight = 16;
  static constexpr int kChromaWidth = 4, kChromaHeight = 8;
  static constexpr int kBlockWidth = 4, kBlockHeight = 8;
  static int32_t lumaStride(const FrameBuffer& f) { return reducedLumaStride(f.lumaStride); }
  static int32_t chromaStride(const FrameBuffer& f) { return reducedChromaStride(f.lumaStride); }
};

template <>
struct ScaleGeometry<DecodeScale::Quarter> {
  static constexpr int kLumaWidth = 8, kLumaHeight = 8;
  static constexpr int kChromaWidth = 4, kChromaHeight = 4;
  static constexpr int kBlockWidth = 4, kBlockHeight = 4;
  static int32_t lumaStride(const FrameBuffer& f) { return reducedLumaStride(f.lumaStride); }
  static int32_t chromaStride(const FrameBuffer& f) { return reducedChromaStride(f.lumaStride); }
};

// Residual layout shared by every scale: offsets in 16-bit samples.
template <DecodeScale S>
struct ResidualLayout {
  using G = ScaleGeometry<S>;
  static constexpr int kLumaSize = G::kLumaWidth * G::kLumaHeight;
  static constexpr int kChromaSize = G::kChromaWidth * G::kChromaHeight;
  static constexpr int kCbOffset = kLumaSize;
  static constexpr int kCrOffset = kLumaSize + kChromaSize;
  static constexpr int kTotal = kLumaSize + 2 * kChromaSize;
};

// The bytes of each host plane the library may read or write, for a
// width x height picture (1..4095 each): the sizes Quarlin_GetFrameSizes
// reports and the host allocates. The plug-in convention is width x
// (height + 128) for luma and a quarter of that per chroma plane; for some
// sizes that ends before the rows the decoders write at the full-scale
// strides (352 x 288: 144 chroma rows of 256 bytes against 36608 bytes), so
// the extent is the larger of the two. Rows are counted as an interlaced
// frame codes them, 2 x ceil(height / 32) macroblock rows, which is never
// fewer than a progressive frame's ceil(height / 16). The reduced scales use
// strides and rows no larger than Full's.
struct PlaneExtent {
  int64_t luma = 0;
  int64_t chroma = 0;
};

inline PlaneExtent planeExtent(int32_t width, int32_t height) {
  const int64_t lumaStride = (int64_t{width} + 127) & ~int64_t{127};
  const int64_t chromaStride = ((lumaStride >> 1) + 127) & ~int64_t{127};
  const int64_t macroblockRows = 2 * ((int64_t{height} + 31) / 32);
  const int64_t conventional = int64_t{width} * (int64_t{height} + 128);
  PlaneExtent e;
  e.luma = conventional > 16 * macroblockRows * lumaStride ? conventional : 16 * macroblockRows * lumaStride;
  const int64_t chromaRows = 8 * macroblockRows * chromaStride;
  e.chroma = conventional / 4 > chromaRows ? conventional / 4 : chromaRows;
  return e;
}

}  // namespace quarlin
