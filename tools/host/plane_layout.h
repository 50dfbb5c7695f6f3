// Where a decoded picture lives in the planes a host hands to Quarlin_GetFrame.
#pragma once
#include <cstddef>
#include <cstdint>

namespace quarlin::tool {

// The three output scales of Quarlin_GetFrame.
enum class DecodeScale { Full, HalfWidth, Quarter };

// What the library reports about a file's frames: coded size, luma stride
// (Quarlin_GetFileInfo) and the plane sizes a host allocates
// (Quarlin_GetFrameSizes).
struct FrameGeometry {
  uint32_t width = 0;       // coded width, 1..4095
  uint32_t height = 0;      // coded height, 1..4095
  uint32_t stride = 0;      // luma row pitch: width rounded up to 128
  uint32_t lumaSize = 0;    // bytes of the Y plane
  uint32_t chromaSize = 0;  // bytes of each chroma plane
};

// The layout of one picture at one scale.
struct PlaneLayout {
  uint32_t lumaStride = 0;     // bytes between luma rows
  uint32_t chromaStride = 0;   // bytes between chroma rows
  uint32_t pictureWidth = 0;   // luma samples of the picture at this scale
  uint32_t pictureHeight = 0;
  std::size_t lumaBytes = 0;   // allocation of the Y plane
  std::size_t chromaBytes = 0; // allocation of each chroma plane
};

uint32_t roundUpTo128(uint32_t value);

// Strides, picture size and allocation sizes at `scale`: the planes are
// allocated with exactly the sizes the library reports.
PlaneLayout planeLayout(const FrameGeometry& geometry, DecodeScale scale);

// The two decoding options of Quarlin_GetFrame that select `scale`.
int32_t reducedResolutionOption(DecodeScale scale);
int32_t reductionModeOption(DecodeScale scale);

// Picture size of a `width` x `height` picture at `scale`: half the width
// rounded up; at Quarter also half the height rounded up.
uint32_t scaledWidth(uint32_t width, DecodeScale scale);
uint32_t scaledHeight(uint32_t height, DecodeScale scale);

const char* scaleName(DecodeScale scale);

}  // namespace quarlin::tool
