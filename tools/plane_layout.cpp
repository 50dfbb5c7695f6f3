#include "tools/plane_layout.h"

#include <algorithm>

namespace quarlin::tool {

uint32_t roundUpTo128(uint32_t value) { return (value + 127u) & ~127u; }

uint32_t scaledWidth(uint32_t width, DecodeScale scale) {
  return scale == DecodeScale::Full ? width : (width + 1) / 2;
}

uint32_t scaledHeight(uint32_t height, DecodeScale scale) {
  return scale == DecodeScale::Quarter ? (height + 1) / 2 : height;
}

PlaneLayout planeLayout(const FrameGeometry& geometry, DecodeScale scale) {
  const uint32_t mbHeight = (geometry.height + 15) / 16;
  PlaneLayout layout;
  if (scale == DecodeScale::Full) {
    layout.lumaStride = geometry.stride;
    layout.chromaStride = roundUpTo128(geometry.stride / 2);
  } else {
    layout.lumaStride = roundUpTo128(geometry.stride / 2);
    layout.chromaStride = roundUpTo128(geometry.stride / 4);
  }
  // Macroblock rows: 16 luma and 8 chroma lines each, half that at Quarter.
  const uint32_t lumaRowsPerMb = scale == DecodeScale::Quarter ? 8 : 16;
  layout.lumaRows = lumaRowsPerMb * mbHeight;
  layout.chromaRows = lumaRowsPerMb / 2 * mbHeight;
  layout.pictureWidth = scaledWidth(geometry.width, scale);
  layout.pictureHeight = scaledHeight(geometry.height, scale);
  // One spare row below the written ones: a half-sample prediction at the
  // bottom edge reads one line further than it writes.
  const std::size_t lumaNeeded = std::size_t{layout.lumaRows + 1} * layout.lumaStride;
  const std::size_t chromaNeeded = std::size_t{layout.chromaRows + 1} * layout.chromaStride;
  layout.lumaBytes = std::max<std::size_t>(geometry.lumaSize, lumaNeeded);
  layout.chromaBytes = std::max<std::size_t>(geometry.chromaSize, chromaNeeded);
  return layout;
}

int32_t reducedResolutionOption(DecodeScale scale) { return scale == DecodeScale::Full ? 0 : 1; }

int32_t reductionModeOption(DecodeScale scale) {
  switch (scale) {
    case DecodeScale::Quarter: return 1;
    case DecodeScale::HalfWidth: return 2;
    case DecodeScale::Full: break;
  }
  return 0;
}

const char* scaleName(DecodeScale scale) {
  switch (scale) {
    case DecodeScale::HalfWidth: return "half";
    case DecodeScale::Quarter: return "quarter";
    case DecodeScale::Full: break;
  }
  return "full";
}

}  // namespace quarlin::tool
