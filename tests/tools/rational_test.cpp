// Frame rates from the sequence header codes, and aspect ratios as fractions.
#include "tools/images/rational.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quarlin::tool {
namespace {

TEST(Rational, FrameRateCodesOfTable6_4) {
  const Rational expected[] = {{24000, 1001}, {24, 1}, {25, 1}, {30000, 1001},
                               {30, 1},       {50, 1}, {60000, 1001}, {60, 1}};
  for (uint8_t code = 1; code <= 8; ++code) EXPECT_EQ(frameRate(code, 0, 0), expected[code - 1]) << int(code);
  for (uint8_t code : {0, 9, 15}) EXPECT_FALSE(frameRate(code, 0, 0).has_value()) << int(code);
}

TEST(Rational, FrameRateExtensionsScaleTheRate) {
  EXPECT_EQ(frameRate(3, 1, 0), (Rational{50, 1}));         // 25 x 2/1
  EXPECT_EQ(frameRate(4, 0, 1), (Rational{15000, 1001}));   // 29.97 x 1/2
  EXPECT_EQ(frameRate(8, 3, 31), (Rational{15, 2}));        // 60 x 4/32
}

TEST(Rational, ApproximatesAspectRatiosExactly) {
  struct Case {
    double value;
    Rational expected;
  };
  const Case cases[] = {{576.0 * 4 / 3 / 720, {16, 15}},  {576.0 * 16 / 9 / 720, {64, 45}},
                        {480.0 * 4 / 3 / 720, {8, 9}},    {576.0 * 2.21 / 720, {221, 125}},
                        {1.0, {1, 1}},                    {2.0, {2, 1}},
                        {std::nan(""), {0, 0}},           {0.0, {0, 0}}};
  for (const Case& c : cases) EXPECT_EQ(approximate(c.value), c.expected) << c.value;
}

}  // namespace
}  // namespace quarlin::tool
