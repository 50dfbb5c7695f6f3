// Strides, picture sizes and allocations of the planes handed to the library.
#include "tools/host/plane_layout.h"

#include <gtest/gtest.h>

namespace quarlin::tool {
namespace {

FrameGeometry geometry(uint32_t width, uint32_t height) {
  const uint32_t luma = width * (height + 128);
  return FrameGeometry{width, height, roundUpTo128(width), luma, luma / 4};
}

TEST(PlaneLayout, StridesAndPictureSizes) {
  struct Case {
    uint32_t width, height;
    DecodeScale scale;
    uint32_t lumaStride, chromaStride, pictureWidth, pictureHeight;
  };
  const Case cases[] = {
      {720, 576, DecodeScale::Full, 768, 384, 720, 576},
      {720, 576, DecodeScale::HalfWidth, 384, 256, 360, 576},
      {720, 576, DecodeScale::Quarter, 384, 256, 360, 288},
      {352, 288, DecodeScale::Full, 384, 256, 352, 288},
      {1920, 1080, DecodeScale::Full, 1920, 1024, 1920, 1080},
      {1920, 1080, DecodeScale::Quarter, 1024, 512, 960, 540},
      {178, 146, DecodeScale::Quarter, 128, 128, 89, 73},
  };
  for (const Case& c : cases) {
    const PlaneLayout layout = planeLayout(geometry(c.width, c.height), c.scale);
    SCOPED_TRACE(std::to_string(c.width) + " " + scaleName(c.scale));
    EXPECT_EQ(layout.lumaStride, c.lumaStride);
    EXPECT_EQ(layout.chromaStride, c.chromaStride);
    EXPECT_EQ(layout.pictureWidth, c.pictureWidth);
    EXPECT_EQ(layout.pictureHeight, c.pictureHeight);
    EXPECT_EQ(layout.lumaBytes, c.width * (c.height + 128));
  }
}

}  // namespace
}  // namespace quarlin::tool
