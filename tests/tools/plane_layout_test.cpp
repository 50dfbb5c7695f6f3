// Strides, picture sizes and allocations of the planes handed to the library.
#include "tools/plane_layout.h"

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
    uint32_t lumaStride, chromaStride, pictureWidth, pictureHeight, lumaRows;
  };
  const Case cases[] = {
      {720, 576, DecodeScale::Full, 768, 384, 720, 576, 576},
      {720, 576, DecodeScale::HalfWidth, 384, 256, 360, 576, 576},
      {720, 576, DecodeScale::Quarter, 384, 256, 360, 288, 288},
      {352, 288, DecodeScale::Full, 384, 256, 352, 288, 288},
      {1920, 1080, DecodeScale::Full, 1920, 1024, 1920, 1080, 1088},
      {1920, 1080, DecodeScale::Quarter, 1024, 512, 960, 540, 544},
      {178, 146, DecodeScale::Quarter, 128, 128, 89, 73, 80},
  };
  for (const Case& c : cases) {
    const PlaneLayout layout = planeLayout(geometry(c.width, c.height), c.scale);
    SCOPED_TRACE(std::to_string(c.width) + " " + scaleName(c.scale));
    EXPECT_EQ(layout.lumaStride, c.lumaStride);
    EXPECT_EQ(layout.chromaStride, c.chromaStride);
    EXPECT_EQ(layout.pictureWidth, c.pictureWidth);
    EXPECT_EQ(layout.pictureHeight, c.pictureHeight);
    EXPECT_EQ(layout.lumaRows, c.lumaRows);
    EXPECT_EQ(layout.chromaRows, c.lumaRows / 2);
  }
}

TEST(PlaneLayout, AllocationCoversWrittenRowsAndReportedSize) {
  for (uint32_t width : {16u, 130u, 176u, 350u, 352u, 720u, 1920u}) {
    for (uint32_t height : {16u, 146u, 288u, 1080u}) {
      for (DecodeScale scale : {DecodeScale::Full, DecodeScale::HalfWidth, DecodeScale::Quarter}) {
        const FrameGeometry g = geometry(width, height);
        const PlaneLayout layout = planeLayout(g, scale);
        EXPECT_GE(layout.lumaBytes, g.lumaSize);
        EXPECT_GE(layout.chromaBytes, g.chromaSize);
        EXPECT_GE(layout.lumaBytes, std::size_t{layout.lumaRows} * layout.lumaStride);
        EXPECT_GE(layout.chromaBytes, std::size_t{layout.chromaRows} * layout.chromaStride);
      }
    }
  }
  // The width where the reported chroma size is too small for the rows.
  EXPECT_GT(planeLayout(geometry(352, 288), DecodeScale::Full).chromaBytes, 143u * 256 + 176);
}

}  // namespace
}  // namespace quarlin::tool
