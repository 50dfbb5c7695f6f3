// ReducedBlockTransform against the full inverse DCT and a double-precision
// model written from the DCT's definition: drop horizontal frequencies 4..7,
// inverse-transform, sample the even columns (and, at Quarter, the even rows).
#include "slice/reduced_block_transform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "primitives/primitives.h"

namespace quarlin {
namespace {

struct Outputs {
  int16_t half[8][4], quarter[4][4];
  uint8_t bytes[8][4];
  explicit Outputs(const int16_t* block) {
    reducedTransformToShort(block, ReducedRows::Eight, &half[0][0], 8);
    reducedTransformToShort(block, ReducedRows::Four, &quarter[0][0], 8);
    reducedTransformToByte(block, ReducedRows::Eight, &bytes[0][0], 4);
  }
};

// A DC-only block gives exactly the full 8x8 inverse DCT's value everywhere,
// for every DC value: a flat area has one level at every scale. Random
// blocks (small coefficients, and IEEE 1180's +-300) stay within 1 of the model.
TEST(ReducedBlockTransform, MatchesTheInverseDctAndTheModel) {
  for (int dc = -2048; dc <= 2047; ++dc) {
    alignas(16) int16_t block[64] = {};
    block[0] = static_cast<int16_t>(dc);
    alignas(16) int16_t full[64];
    ASSERT_EQ(ippiDCT8x8Inv_16s_C1R(block, full, 16), 0);
    const Outputs out(block);
    for (int j = 0; j < 8; ++j)
      for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(out.half[j][i], full[0]) << "dc " << dc;
        ASSERT_EQ(out.bytes[j][i], std::clamp<int>(full[0], 0, 255)) << "dc " << dc;
        ASSERT_TRUE(j >= 4 || out.quarter[j][i] == full[0]) << "dc " << dc;
      }
  }
  const double pi = std::acos(-1.0);
  std::mt19937 random(20261205u);
  for (const int range : {5, 300}) {
    std::uniform_int_distribution<int> value(-range - (range > 5), range);
    for (int n = 0; n < 2000; ++n) {
      alignas(16) int16_t block[64];
      for (int16_t& c : block) c = static_cast<int16_t>(random() % 4 == 0 ? value(random) : 0);
      const Outputs out(block);
      for (int y = 0; y < 8; ++y)
        for (int i = 0; i < 4; ++i) {
          double model = 0;  // f(2i, y) from frequencies u < 4 only
          for (int v = 0; v < 8; ++v)
            for (int u = 0; u < 4; ++u)
              model += (u ? 1.0 : std::sqrt(0.5)) * (v ? 1.0 : std::sqrt(0.5)) * block[8 * v + u] *
                       std::cos((4 * i + 1) * u * pi / 16) * std::cos((2 * y + 1) * v * pi / 16) / 4;
          ASSERT_LE(std::fabs(out.half[y][i] - model), 1.0) << "row " << y << " col " << i;
          ASSERT_LE(std::fabs(out.bytes[y][i] - std::clamp(model, 0.0, 255.0)), 1.0);
          ASSERT_TRUE(y % 2 || out.quarter[y / 2][i] == out.half[y][i]);
        }
    }
  }
}

TEST(ReducedBlockTransform, SaturatesInsteadOfWrapping) {
  alignas(16) int16_t block[64] = {};
  block[0] = block[1] = block[8] = 32767;
  EXPECT_GT(Outputs(block).half[0][0], 0);  // large positive stays positive
  block[0] = -32768;
  block[1] = block[8] = 0;
  uint8_t bytes[4][4];
  reducedTransformToByte(block, ReducedRows::Four, &bytes[0][0], 4);
  for (auto& row : bytes)
    for (uint8_t b : row) EXPECT_EQ(b, 0);
}

}  // namespace
}  // namespace quarlin
