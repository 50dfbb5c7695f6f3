// ReducedBlockTransform against the full inverse DCT and a double-precision
// model: drop horizontal frequencies 4..7, inverse-transform, sample the even
// columns (and, at Quarter, the even rows).
#include "slice/reduced_block_transform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

#include "primitives/primitives.h"
#include "slice_test_stream.h"

namespace quarlin {
namespace {

// A DC-only block gives exactly the full 8x8 inverse DCT's value, to both
// outputs, for every DC value: a flat area has one level at every scale.
TEST(ReducedBlockTransform, DcOnlyBlockMatchesFullInverseDct) {
  for (int dc = -2048; dc <= 2047; ++dc) {
    alignas(16) int16_t block[64] = {};
    block[0] = static_cast<int16_t>(dc);
    alignas(16) int16_t full[64];
    ASSERT_EQ(ippiDCT8x8Inv_16s_C1R(block, full, 16), 0);
    int16_t half[8][4], quarter[4][4];
    uint8_t bytes[8][4];
    reducedTransformToShort(block, ReducedRows::Eight, &half[0][0], 8);
    reducedTransformToShort(block, ReducedRows::Four, &quarter[0][0], 8);
    reducedTransformToByte(block, ReducedRows::Eight, &bytes[0][0], 4);
    for (int j = 0; j < 8; ++j)
      for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(half[j][i], full[0]) << "dc " << dc;
        ASSERT_EQ(bytes[j][i], std::clamp<int>(full[0], 0, 255)) << "dc " << dc;
        if (j < 4) {
          ASSERT_EQ(quarter[j][i], full[0]) << "dc " << dc;
        }
      }
  }
}

struct RangeCase {
  int low, high;
};

void PrintTo(const RangeCase& c, std::ostream* out) { *out << "coefficients " << c.low << ".." << c.high; }

class ReducedAgainstModel : public ::testing::TestWithParam<RangeCase> {};

TEST_P(ReducedAgainstModel, WithinOneOfTheDoublePrecisionModel) {
  const RangeCase range = GetParam();
  std::mt19937 random(20261205u + static_cast<unsigned>(range.high));
  std::uniform_int_distribution<int> value(range.low, range.high);
  std::uniform_int_distribution<int> sparse(0, 3);
  for (int n = 0; n < 2000; ++n) {
    alignas(16) int16_t block[64];
    for (int16_t& c : block) c = static_cast<int16_t>(sparse(random) == 0 ? value(random) : 0);
    int16_t lowOnly[64];
    std::copy(block, block + 64, lowOnly);
    for (int v = 0; v < 8; ++v)
      for (int u = 4; u < 8; ++u) lowOnly[8 * v + u] = 0;
    double model[8][8];
    test::referenceIdct(lowOnly, model);
    int16_t half[8][4], quarter[4][4];
    uint8_t halfBytes[8][4];
    reducedTransformToShort(block, ReducedRows::Eight, &half[0][0], 8);
    reducedTransformToShort(block, ReducedRows::Four, &quarter[0][0], 8);
    reducedTransformToByte(block, ReducedRows::Eight, &halfBytes[0][0], 4);
    for (int j = 0; j < 8; ++j)
      for (int i = 0; i < 4; ++i) {
        const double expected = model[j][2 * i];
        ASSERT_LE(std::fabs(half[j][i] - expected), 1.0) << "row " << j << " col " << i;
        const double clipped = std::clamp(expected, 0.0, 255.0);
        ASSERT_LE(std::fabs(halfBytes[j][i] - clipped), 1.0);
        if (j % 2 == 0) {
          ASSERT_EQ(quarter[j / 2][i], half[j][i]);
        }
      }
  }
}

INSTANTIATE_TEST_SUITE_P(Ranges, ReducedAgainstModel,
                         ::testing::Values(RangeCase{-5, 5}, RangeCase{-2048, 2047}));

TEST(ReducedBlockTransform, SaturatesInsteadOfWrapping) {
  alignas(16) int16_t block[64] = {};
  block[0] = 32767;
  block[1] = 32767;
  block[8] = 32767;
  int16_t out[8][4];
  reducedTransformToShort(block, ReducedRows::Eight, &out[0][0], 8);
  EXPECT_GT(out[0][0], 0);  // large positive stays positive
  uint8_t bytes[4][4];
  block[0] = -32768;
  block[1] = block[8] = 0;
  reducedTransformToByte(block, ReducedRows::Four, &bytes[0][0], 4);
  for (auto& row : bytes)
    for (uint8_t b : row) EXPECT_EQ(b, 0);
}

TEST(ReducedBlockTransform, WritesOnlyItsBlockAtTheGivenStep) {
  alignas(16) int16_t block[64] = {};
  block[0] = 800;  // flat 100
  uint8_t plane[10][16];
  for (auto& row : plane)
    for (uint8_t& b : row) b = 7;
  reducedTransformToByte(block, ReducedRows::Four, &plane[1][2], 2 * 16);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 16; ++x) {
      const bool inside = y >= 1 && y <= 7 && (y - 1) % 2 == 0 && x >= 2 && x < 6;
      EXPECT_EQ(plane[y][x], inside ? 100 : 7) << y << "," << x;
    }
}

}  // namespace
}  // namespace quarlin
