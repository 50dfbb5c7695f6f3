// Macroblock geometry at each decode scale. Full scale reconstructs 16x16
// luma and 8x8 chroma per macroblock; HalfWidth keeps every line but only
// the even columns (8x16 luma, 4x8 chroma); Quarter keeps even columns and
// even lines (8x8 luma, 4x4 chroma). The residual of a macroblock is stored
// without padding in frame line order: luma rows of kLumaWidth samples, then
// Cb and Cr rows of kChromaWidth samples.
#pragma once
#include <cstdint>

#include "decode/frame_buffer.h"
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

// Bytes a host plane holds: the sizes the host is told to allocate (width x
// (height + 128) for luma, a quarter of that per chroma plane), and never
// less than the picture's macroblock rows at the full-scale strides
// (`macroblockRows` x 16 luma lines, x 8 chroma lines), which every host
// plane must hold. At 352 x 288 the chroma size (36608) ends one row short of
// the 144 rows at stride 256 that the picture covers. No read goes past
// these sizes, whatever a vector says.
inline int64_t lumaPlaneBytes(const FrameBuffer& f, int32_t macroblockRows) {
  const int64_t reported = static_cast<int64_t>(f.width) * (static_cast<int64_t>(f.height) + 128);
  const int64_t picture = int64_t{16} * macroblockRows * f.lumaStride;
  return reported > picture ? reported : picture;
}
inline int64_t chromaPlaneBytes(const FrameBuffer& f, int32_t macroblockRows) {
  const int64_t reported = static_cast<int64_t>(f.width) * (static_cast<int64_t>(f.height) + 128) / 4;
  const int64_t picture = int64_t{8} * macroblockRows * f.chromaStride();
  return reported > picture ? reported : picture;
}

}  // namespace quarlin
