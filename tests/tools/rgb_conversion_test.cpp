// BT.601 limited-range conversion and the 4:2:0 chroma upsampling.
#include "tools/images/rgb_conversion.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace quarlin::tool {
namespace {

TEST(RgbConversion, Bt601LimitedRangeColours) {
  struct Case {
    uint8_t y, cb, cr;
    int r, g, b;
  };
  // Colour-bar values of BT.601 (75% and 100% primaries, black, white).
  const Case cases[] = {{16, 128, 128, 0, 0, 0},      {235, 128, 128, 255, 255, 255}, {126, 128, 128, 128, 128, 128},
                        {81, 90, 240, 255, 0, 0},     {145, 54, 34, 0, 255, 0},       {41, 240, 110, 0, 0, 255},
                        {0, 128, 128, 0, 0, 0},       {255, 128, 128, 255, 255, 255}};
  for (const Case& c : cases) {
    uint8_t rgb[3];
    yCbCrToRgb(c.y, c.cb, c.cr, rgb);
    EXPECT_NEAR(rgb[0], c.r, 2) << int(c.y);
    EXPECT_NEAR(rgb[1], c.g, 2) << int(c.y);
    EXPECT_NEAR(rgb[2], c.b, 2) << int(c.y);
  }
}

// Chroma rows 0..3 of value 0, 80, 160, 240 (constant across): luma row
// 2j + 1 lies a quarter of the way from chroma row j to row j + 1, luma row
// 2j a quarter of the way to row j - 1; the edges repeat the outer rows.
TEST(RgbConversion, ChromaUpsampledAtMpeg2SamplePositions) {
  std::vector<uint8_t> chroma(2 * 4);
  for (int row = 0; row < 4; ++row) chroma[row * 2] = chroma[row * 2 + 1] = static_cast<uint8_t>(80 * row);
  const std::vector<uint8_t> up = upsampleChroma(PlaneView{chroma.data(), 2, 2, 4}, 4, 8);
  const int expected[8] = {0, 20, 60, 100, 140, 180, 220, 240};
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(up[y * 4 + x], expected[y]) << y << "," << x;
  }
}

// Columns: chroma samples sit on even luma columns; odd columns take the
// mean of their two neighbours, the last odd column repeats the edge.
TEST(RgbConversion, ChromaColumnsCositedWithEvenLuma) {
  const std::vector<uint8_t> chroma = {10, 50, 90};
  const std::vector<uint8_t> up = upsampleChroma(PlaneView{chroma.data(), 3, 3, 1}, 6, 1);
  EXPECT_EQ(up, (std::vector<uint8_t>{10, 30, 50, 70, 90, 90}));
}

TEST(RgbConversion, OddSizedPicture) {
  std::vector<uint8_t> y(5 * 3, 235), c(3 * 2, 128);
  const RgbImage rgb = toRgb(ImageView{{y.data(), 5, 5, 3}, {c.data(), 3, 3, 2}, {c.data(), 3, 3, 2}});
  ASSERT_EQ(rgb.width, 5u);
  ASSERT_EQ(rgb.height, 3u);
  for (uint8_t value : rgb.pixels) EXPECT_EQ(value, 255);
}

}  // namespace
}  // namespace quarlin::tool
