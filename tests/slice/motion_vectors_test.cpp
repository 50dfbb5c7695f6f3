// Vector arithmetic of ISO/IEC 13818-2 7.6.3 at each decode scale.
#include "slice/motion_vectors.h"

#include <gtest/gtest.h>

namespace quarlin {
namespace {

struct VectorCase {
  int fCode, prediction, motionCode, residual, expected;
};

void PrintTo(const VectorCase& c, std::ostream* out) {
  *out << "f_code " << c.fCode << ", prediction " << c.prediction << ", motion_code " << c.motionCode
       << ", residual " << c.residual;
}

class VectorReconstruction : public ::testing::TestWithParam<VectorCase> {};

TEST_P(VectorReconstruction, DeltaPlusPredictionWrapsIntoRange) {
  const VectorCase& c = GetParam();
  const int rSize = c.fCode - 1;
  EXPECT_EQ(wrapVector(c.prediction + motionDelta(c.motionCode, c.residual, rSize), rSize), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    FCodeCases, VectorReconstruction,
    ::testing::Values(VectorCase{1, 15, 1, 0, -16},    // 16 wraps to -16
                      VectorCase{1, -16, -1, 0, 15},   // -17 wraps to 15
                      VectorCase{1, 3, -2, 0, 1},      //
                      VectorCase{2, 0, -3, 1, -6},     // -(((3 - 1) << 1) + 1 + 1)
                      VectorCase{2, 0, 3, 0, 5},       // ((3 - 1) << 1) + 0 + 1
                      VectorCase{2, 30, 2, 1, -30},    // 30 + 4 = 34 > 31 wraps by 64
                      VectorCase{3, 0, 16, 3, -64},    // ((16 - 1) << 2) + 3 + 1 = 64 > 63 wraps
                      VectorCase{9, 100, 0, 0, 100}));  // motion_code 0 keeps the prediction

TEST(VectorReconstruction, LargestFCodeStaysInItsRange) {
  // f_code 9: f = 256, range [-4096, 4095].
  EXPECT_EQ(wrapVector(4095 + motionDelta(1, 0, 8), 8), -4096);
  EXPECT_EQ(motionDelta(-16, 255, 8), -((15 << 8) + 255 + 1));
}

struct OffsetCase {
  int vx, vy;
  SampleOffset luma, chroma;
};

void expectOffset(const SampleOffset& got, const SampleOffset& want) {
  EXPECT_EQ(got.x, want.x);
  EXPECT_EQ(got.y, want.y);
  EXPECT_EQ(got.type, want.type);
}

TEST(SampleOffsets, FullScale) {
  const OffsetCase cases[] = {
      {-3, 5, {-2, 2, 12}, {-1, 1, 8}},  // chroma (-1, 2): toward zero
      {4, -4, {2, -2, 0}, {1, -1, 0}},
      {1, 1, {0, 0, 12}, {0, 0, 0}},
      {-1, -1, {-1, -1, 12}, {0, 0, 0}},
      {7, -7, {3, -4, 12}, {1, -2, 12}},  // chroma (3, -3)
  };
  for (const OffsetCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.vx << "," << c.vy);
    expectOffset(lumaOffsetAt<DecodeScale::Full>(c.vx, c.vy), c.luma);
    expectOffset(chromaOffsetAt<DecodeScale::Full>(c.vx, c.vy), c.chroma);
  }
}

TEST(SampleOffsets, HalfWidthHalvesHorizontalTowardZero) {
  // (-3, 5) becomes (-1, 5): luma offset (-1, 2), type 12; chroma (-1 >> 1, 5 >> 1) = (-1, 2).
  expectOffset(lumaOffsetAt<DecodeScale::HalfWidth>(-3, 5), {-1, 2, 12});
  expectOffset(chromaOffsetAt<DecodeScale::HalfWidth>(-3, 5), {-1, 1, 8});
  expectOffset(lumaOffsetAt<DecodeScale::HalfWidth>(6, -3), {1, -2, 12});
}

TEST(SampleOffsets, QuarterHalvesBothComponents) {
  // (-5, 9) becomes (-2, 4): luma (-1, 2) full samples; chroma vector
  // (-2 >> 1, 4 >> 1) = (-1, 2): offset (-1, 1), horizontal half sample.
  expectOffset(lumaOffsetAt<DecodeScale::Quarter>(-5, 9), {-1, 2, 0});
  expectOffset(chromaOffsetAt<DecodeScale::Quarter>(-5, 9), {-1, 1, 8});
  expectOffset(chromaOffsetAt<DecodeScale::Quarter>(7, 6), {0, 0, 12});
}

}  // namespace
}  // namespace quarlin
