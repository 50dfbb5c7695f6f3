// Box-filter reduction, as used for field-coded streams and thumbnails.
#include "tools/images/image_scaling.h"

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

// 2x1 boxes: means 0.5 -> 1 (rounded half up), 2.5 -> 3, then the lone column.
TEST(ImageScaling, BoxesAverageAndKeepTheEdges) {
  const Source source;
  const YuvImage half = reduceImage(source.view(), 2, 1);
  ASSERT_EQ(half.width(), 3u);
  ASSERT_EQ(half.height(), 3u);
  EXPECT_EQ(plane(half, 0), (std::vector<uint8_t>{1, 3, 4, 6, 8, 9, 11, 13, 14}));
  EXPECT_EQ(plane(half, 1), (std::vector<uint8_t>{5, 20, 35, 50}));  // 2x2 chroma of 3x2
  // 2x2 boxes, smaller at the right and bottom edges: (0+1+5+6)/4 = 3,
  // (2+3+7+8)/4 = 5, (4+9)/2 = 6.5 -> 7; the bottom row alone.
  const YuvImage quarter = reduceImage(source.view(), 2, 2);
  EXPECT_EQ(plane(quarter, 0), (std::vector<uint8_t>{3, 5, 7, 11, 13, 14}));
  EXPECT_EQ(plane(quarter, 2), (std::vector<uint8_t>{20, 35}));  // (0+10+30+40)/4, (20+50)/2
}

}  // namespace
}  // namespace quarlin::tool
