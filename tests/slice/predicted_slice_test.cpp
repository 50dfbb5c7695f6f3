// P and B frame pictures on synthetic slices: increments across a row, the
// predictors after field prediction, and vectors reaching outside the
// reference planes. (Vectors, skipped macroblocks, residuals and intra
// macroblocks among predicted ones as encoders write them are compared with
// FFmpeg and libmpeg2 on the corpus.)
#include <gtest/gtest.h>

#include <algorithm>

#include "prediction_model.h"
#include "primitives/vlc_table_set.h"
#include "slice/macroblock_decoder.h"
#include "slice_test_stream.h"

namespace quarlin {
namespace {

using test::BitWriter;
using test::SliceHarness;

// Checks plane p of the output over the macroblock at (column, row): every
// sample equals expect(x, y) (coordinates inside the picture).
void expectMacroblock(SliceHarness& h, int p, int column, int row,
                      const std::function<int(int, int)>& expect) {
  const int size = p == 0 ? 16 : 8;
  const auto out = test::frameSamples(h.output, p);
  for (int y = row * size; y < (row + 1) * size; ++y)
    for (int x = column * size; x < (column + 1) * size; ++x)
      ASSERT_EQ(out(x, y), expect(x, y)) << "plane " << p << " at " << x << "," << y;
}

void expectUntouched(SliceHarness& h, int column, int row) {
  for (int p = 0; p < 3; ++p) expectMacroblock(h, p, column, row, [](int, int) { return 0x11; });
}

void forwardOnlyMacroblock(BitWriter& w, int increment, int picture, int codeX, int codeY) {
  w.addressIncrement(increment);
  w.putVlc(picture == 2 ? kVlcMacroblockTypeP : kVlcMacroblockTypeB, kMbForward);
  w.motionVector(codeX);
  w.motionVector(codeY);
}

class PFrame : public ::testing::Test {
 protected:
  PFrame() : h(96, 48, 2) { test::fillPattern(h.forward, 1); }
  SliceHarness h;
};

// A slice stays in its macroblock row (ISO/IEC 13818-2 6.3.16): an
// increment that leaves the row ends the slice with its error and writes
// nothing past the row, so a damaged slice never touches rows another
// slice (on another worker) owns.
TEST_F(PFrame, IncrementPastTheRowEndsTheSlice) {
  test::fillPattern(h.forward, 4);
  BitWriter w;
  w.sliceHeader(8);
  forwardOnlyMacroblock(w, 1, 2, 0, 0);  // row 0, column 0
  forwardOnlyMacroblock(w, 6, 2, 0, 0);  // would be row 1, column 0
  ASSERT_EQ(h.decode(w, 1), -2);
  for (int p = 0; p < 3; ++p) expectMacroblock(h, p, 0, 0, test::frameSamples(h.forward, p));
  for (int column = 1; column < 6; ++column) expectUntouched(h, column, 0);
  expectUntouched(h, 0, 1);
}

TEST_F(PFrame, PredictionStartingAboveThePlaneLeavesTheMacroblock) {
  BitWriter w;
  w.sliceHeader(8);
  forwardOnlyMacroblock(w, 1, 2, 0, -2);  // row 0, one line up: before the plane
  forwardOnlyMacroblock(w, 1, 2, 0, 2);   // back to (0, 0)
  ASSERT_EQ(h.decode(w, 1), 0);
  expectUntouched(h, 0, 0);
  for (int p = 0; p < 3; ++p) expectMacroblock(h, p, 1, 0, test::frameSamples(h.forward, p));
}

TEST_F(PFrame, PredictionPastThePlaneEndStaysInsideIt) {
  h.picture.fCode[0] = h.picture.fCode[1] = 7;  // vectors up to +-1023 half samples
  BitWriter w;
  w.sliceHeader(8);
  w.addressIncrement(1);
  w.putVlc(kVlcMacroblockTypeP, kMbForward);
  w.motionVector(16);
  w.put(62, 6);  // x = ((16 - 1) << 6) + 62 + 1 = 1023
  w.motionVector(16);
  w.put(62, 6);  // y = 1023: 511 lines down, past the 176 rows of the plane
  ASSERT_EQ(h.decode(w, 3), 0);
  EXPECT_TRUE(h.forward.guardsIntact());
  EXPECT_TRUE(h.output.guardsIntact());
  // Rebuilt from samples inside the plane: the block was predicted, not skipped.
  EXPECT_NE(h.output.y.at(32 * h.lumaStride()), 0x11);
}

class BFrame : public ::testing::Test {
 protected:
  BFrame() : h(64, 48, 3) {
    test::fillPattern(h.forward, 2);
    test::fillPattern(h.backward, 5);
  }
  SliceHarness h;
};

// A skipped macroblock after a field-predicted one uses frame prediction with
// PMV[0] (kept in frame units), not the previous macroblock's field vectors.
TEST_F(BFrame, SkipAfterFieldPredictionUsesFramePredictionWithPmv0) {
  h.picture.framePredFrameDct = 0;
  BitWriter w;
  w.sliceHeader(8);
  w.addressIncrement(1);
  w.putVlc(kVlcMacroblockTypeB, kMbForward);
  w.put(1, 2);  // frame_motion_type: field
  w.put(1, 1);  // top lines from the bottom field
  w.motionVector(2);
  w.motionVector(1);  // (2, 1) in field lines; PMV[0][0] = (2, 2)
  w.put(0, 1);  // bottom lines from the top field
  w.motionVector(0);
  w.motionVector(0);  // (0, 0)
  w.addressIncrement(2);  // column 1 skipped
  w.putVlc(kVlcMacroblockTypeB, kMbForward);
  w.put(2, 2);  // frame_motion_type: frame
  w.motionVector(0);
  w.motionVector(0);  // (2, 2) from PMV[0][0]
  ASSERT_EQ(h.decode(w, 2), 0);
  const auto top = test::fieldSamples(h.forward, 0, 0), bottom = test::fieldSamples(h.forward, 0, 1);
  expectMacroblock(h, 0, 0, 1, [&](int x, int y) {
    return y % 2 == 0 ? test::halfSample(bottom, x, y / 2, 2, 1) : test::halfSample(top, x, y / 2, 0, 0);
  });
  for (int column = 1; column < 3; ++column) {
    expectMacroblock(h, 0, column, 1, [&](int x, int y) {
      return test::halfSample(test::frameSamples(h.forward, 0), x, y, 2, 2);
    });
    for (int p = 1; p < 3; ++p)
      expectMacroblock(h, p, column, 1, [&](int x, int y) {
        return test::halfSample(test::frameSamples(h.forward, p), x, y, 1, 1);
      });
  }
}

}  // namespace
}  // namespace quarlin
