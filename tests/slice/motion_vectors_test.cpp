// Vector arithmetic of ISO/IEC 13818-2 7.6.3 at each decode scale, worked
// out by hand from the standard's formulas.
#include "slice/motion_vectors.h"

#include <gtest/gtest.h>

namespace quarlin {
namespace {

TEST(MotionVectors, DeltaPlusPredictionWrapsIntoRange) {
  const struct {
    int fCode, prediction, motionCode, residual, expected;
  } cases[] = {
      {1, 15, 1, 0, -16},     // 16 wraps to -16
      {1, -16, -1, 0, 15},    // -17 wraps to 15
      {1, 3, -2, 0, 1},       //
      {2, 0, -3, 1, -6},      // -(((3 - 1) << 1) + 1 + 1)
      {2, 0, 3, 0, 5},        // ((3 - 1) << 1) + 0 + 1
      {2, 30, 2, 1, -30},     // 30 + 4 = 34 > 31 wraps by 64
      {3, 0, 16, 3, -64},     // ((16 - 1) << 2) + 3 + 1 = 64 > 63 wraps
      {9, 100, 0, 0, 100},    // motion_code 0 keeps the prediction
      {9, 4095, 1, 0, -4096}, // f = 256: range [-4096, 4095]
      {9, 0, -16, 255, -4096},  // -((15 << 8) + 255 + 1)
  };
  for (const auto& c : cases)
    EXPECT_EQ(wrapVector(c.prediction + motionDelta(c.motionCode, c.residual, c.fCode - 1), c.fCode - 1), c.expected)
        << "f_code " << c.fCode << ", prediction " << c.prediction << ", motion_code " << c.motionCode;
}

template <DecodeScale S>
std::pair<SampleOffset, SampleOffset> offsetsAt(int vx, int vy) {
  return {lumaOffsetAt<S>(vx, vy), chromaOffsetAt<S>(vx, vy)};
}

// Luma and chroma offsets (full samples, and the half-sample type: 8
// horizontal, 12 both). Chroma vectors are halved toward zero; HalfWidth
// halves the horizontal component toward zero first, Quarter both.
TEST(MotionVectors, SampleOffsetsAtEachScale) {
  const struct {
    const char* scale;
    std::pair<SampleOffset, SampleOffset> (*at)(int, int);
    int vx, vy;
    SampleOffset luma, chroma;
  } cases[] = {
      {"full", offsetsAt<DecodeScale::Full>, -3, 5, {-2, 2, 12}, {-1, 1, 8}},  // chroma (-1, 2)
      {"full", offsetsAt<DecodeScale::Full>, 4, -4, {2, -2, 0}, {1, -1, 0}},
      {"full", offsetsAt<DecodeScale::Full>, 1, 1, {0, 0, 12}, {0, 0, 0}},
      {"full", offsetsAt<DecodeScale::Full>, -1, -1, {-1, -1, 12}, {0, 0, 0}},
      {"full", offsetsAt<DecodeScale::Full>, 7, -7, {3, -4, 12}, {1, -2, 12}},  // chroma (3, -3)
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
