#include "tools/host/plane_layout.h"

namespace quarlin::tool {

uint32_t roundUpTo128(uint32_t value) { return (value + 127u) & ~127u; }

uint32_t scaledWidth(uint32_t width, DecodeScale scale) {
  return scale == DecodeScale::Full ? width : (width + 1) / 2;
}

uint32_t scaledHeight(uint32_t height, DecodeScale scale) {
  return scale == DecodeScale::Quarter ? (height + 1) / 2 : height;
}

PlaneLayout planeLayout(const FrameGeometry& geometry, DecodeScale scale) {
  PlaneLayout layout;
  if (scale == DecodeScale::Full) {
    layout.lumaStride = geometry.stride;
    layout.chromaStride = roundUpTo128(geometry.stride / 2);
  } else {
    layout.lumaStride = roundUpTo128(geometry.stride / 2);
    layout.chromaStride = roundUpTo128(geometry.stride / 4);
  }
  layout.pictureWidth = scaledWidth(geometry.width, scale);
  layout.pictureHeight = scaledHeight(geometry.height, scale);
  // The library reads and writes nothing beyond the sizes it reports.
  layout.lumaBytes = geometry.lumaSize;
  layout.chromaBytes = geometry.chromaSize;
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
