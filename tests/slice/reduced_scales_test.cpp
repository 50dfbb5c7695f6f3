// The arithmetic of the reduced decode scales: ReducedBlockTransform
// against the full inverse DCT (drop horizontal frequencies 4..7,
// inverse-transform, sample the even columns and, at Quarter, the even rows),
// and vector offsets worked out by hand. (At full scale the vector arithmetic
// of ISO/IEC 13818-2 7.6.3 is held to FFmpeg and libmpeg2 by the corpus decode.)
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "primitives/cpu_dispatch.h"
#include "primitives/dispatch_tables.h"
#include "primitives/idct_arithmetic.h"
#include "slice/motion_vectors.h"
#include "slice/reduced_block_transform.h"

namespace quarlin {
namespace {

struct Outputs {
  int16_t half[8][4], quarter[4][4];
  uint8_t bytes[8][4], quarterBytes[4][4];
  Outputs(const ReducedTransforms& forms, const int16_t* block) {
    forms.toShort(block, 8, &half[0][0], 8);
    forms.toShort(block, 4, &quarter[0][0], 8);
    forms.toByte(block, 8, &bytes[0][0], 4);
    forms.toByte(block, 4, &quarterBytes[0][0], 4);
  }
};

// At every tier, for any coefficients (also those that saturate the row
// pass), exactly the full 8x8 inverse DCT of the block with horizontal
// frequencies 4..7 cleared, sampled; so a DC-only block gives the full
// transform's value everywhere: a flat area has one level at every scale.
// (The full transform's accuracy is IEEE 1180's, in the primitives' tests.)
TEST(ReducedBlockTransform, IsTheSampledFullTransform) {
  std::mt19937 random(20261205u);
  for (const int slot : {kSlotGeneric, kSlotSse2, kSlotAvx2}) {
    if (!dispatchSlotRunsHere(slot)) continue;
    const ReducedTransforms forms = reducedTransformsAt(slot);
    for (const int range : {0, 5, 300, 32768}) {  // 0: every DC-only block
      std::uniform_int_distribution<int> value(-range, std::min(range, 32767));
      for (int n = 0; n < (range ? 3000 : 65536); ++n) {
        alignas(16) int16_t block[64] = {static_cast<int16_t>(range ? 0 : n - 32768)}, full[64];
        for (int16_t& c : block) c = range && random() % 4 == 0 ? static_cast<int16_t>(value(random)) : c;
        for (int k = 0; k < 64; ++k) full[k] = k % 8 < 4 ? block[k] : 0;
        generic::idct::fullTransform(full, full);
        const Outputs out(forms, block);
        for (int y = 0; y < 8; ++y)
          for (int i = 0; i < 4; ++i) {
            const int16_t expected = full[8 * y + 2 * i];
            ASSERT_EQ(out.half[y][i], expected) << "slot " << slot << " n " << n;
            ASSERT_EQ(out.bytes[y][i], std::clamp<int>(expected, 0, 255));
            ASSERT_TRUE(y % 2 || (out.quarter[y / 2][i] == expected && out.quarterBytes[y / 2][i] == out.bytes[y][i]));
          }
      }
    }
  }
}

template <DecodeScale S>
std::pair<SampleOffset, SampleOffset> offsetsAt(int vx, int vy) {
  return {lumaOffsetAt<S>(vx, vy), chromaOffsetAt<S>(vx, vy)};
}

// Luma and chroma offsets (full samples, and the half-sample type: 8
// horizontal, 12 both). HalfWidth halves the horizontal component toward
// zero first, Quarter both; chroma then halves them rounding down.
TEST(MotionVectors, SampleOffsetsAtEachScale) {
  const struct {
    const char* scale;
    std::pair<SampleOffset, SampleOffset> (*at)(int, int);
    int vx, vy;
    SampleOffset luma, chroma;
  } cases[] = {
      {"half", offsetsAt<DecodeScale::HalfWidth>, -3, 5, {-1, 2, 12}, {-1, 1, 8}},  // (-1, 5)
      {"quarter", offsetsAt<DecodeScale::Quarter>, -5, 9, {-1, 2, 0}, {-1, 1, 8}},  // (-2, 4), chroma (-1, 2)
  };
  const auto same = [](const SampleOffset& a, const SampleOffset& b) {
    return a.x == b.x && a.y == b.y && a.type == b.type;
  };
  for (const auto& c : cases) {
    const auto [luma, chroma] = c.at(c.vx, c.vy);
    EXPECT_TRUE(same(luma, c.luma) && same(chroma, c.chroma)) << c.scale << " " << c.vx << "," << c.vy;
  }
}

}  // namespace
}  // namespace quarlin
