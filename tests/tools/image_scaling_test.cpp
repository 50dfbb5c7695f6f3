// Box-filter reduction, as used for field-coded streams and thumbnails.
#include "tools/image_scaling.h"

#include <gtest/gtest.h>

#include <vector>

namespace quarlin::tool {
namespace {

// A 5x3 luma plane 0..14 in a stride of 8, chroma 3x2 of 0..5.
struct Source {
  std::vector<uint8_t> y = std::vector<uint8_t>(8 * 3);
  std::vector<uint8_t> c = {0, 10, 20, 0, 30, 40, 50, 0};
  Source() {
    for (int row = 0; row < 3; ++row)
      for (int x = 0; x < 5; ++x) y[row * 8 + x] = static_cast<uint8_t>(row * 5 + x);
  }
  ImageView view() const { return {{y.data(), 8, 5, 3}, {c.data(), 4, 3, 2}, {c.data(), 4, 3, 2}}; }
};

std::vector<uint8_t> plane(const YuvImage& image, int index) {
  const ImageView v = image.view();
  const PlaneView& p = index == 0 ? v.y : index == 1 ? v.cb : v.cr;
  return std::vector<uint8_t>(p.data, p.data + p.width * p.height);
}

TEST(ImageScaling, HalfWidthAveragesPairsAndKeepsTheOddColumn) {
  const Source source;
  const YuvImage half = imageAtScale(source.view(), DecodeScale::Full, DecodeScale::HalfWidth);
  ASSERT_EQ(half.width(), 3u);
  ASSERT_EQ(half.height(), 3u);
  // Means 0.5 -> 1 (rounded half up), 2.5 -> 3, then the lone column 4.
  EXPECT_EQ(plane(half, 0), (std::vector<uint8_t>{1, 3, 4, 6, 8, 9, 11, 13, 14}));
  EXPECT_EQ(plane(half, 1), (std::vector<uint8_t>{5, 20, 35, 50}));  // 2x2 chroma of 3x2
}

TEST(ImageScaling, QuarterAveragesBlocksAtTheEdgesToo) {
  const Source source;
  const YuvImage quarter = imageAtScale(source.view(), DecodeScale::Full, DecodeScale::Quarter);
  ASSERT_EQ(quarter.width(), 3u);
  ASSERT_EQ(quarter.height(), 2u);
  // (0+1+5+6)/4 = 3, (2+3+7+8)/4 = 5, (4+9)/2 = 6.5 -> 7; bottom row alone: 10.5 -> 11, 12.5 -> 13, 14.
  EXPECT_EQ(plane(quarter, 0), (std::vector<uint8_t>{3, 5, 7, 11, 13, 14}));
  EXPECT_EQ(plane(quarter, 2), (std::vector<uint8_t>{20, 35}));  // (0+10+30+40)/4, (20+50)/2
}

TEST(ImageScaling, HalfWidthToQuarterHalvesOnlyTheHeight) {
  const Source source;
  const YuvImage quarter = imageAtScale(source.view(), DecodeScale::HalfWidth, DecodeScale::Quarter);
  EXPECT_EQ(quarter.width(), 5u);
  EXPECT_EQ(quarter.height(), 2u);
  EXPECT_EQ(plane(quarter, 0)[0], 3);  // (0 + 5) / 2 rounded
}

}  // namespace
}  // namespace quarlin::tool
