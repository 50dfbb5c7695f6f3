// Field pictures and dual prime on synthetic slices: which reference field
// each prediction reads (the same-parity rules of ISO/IEC 13818-2 7.6.3.5,
// 7.6.6 and the second field of a P frame), 16x8 prediction, and dual-prime
// averaging in field and frame pictures.
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

// Checks the lines of field `parity` covered by the field macroblock at
// (column, fieldRow) of plane p against expect(x, line).
void expectFieldMacroblock(SliceHarness& h, int p, int column, int parity,
                           const std::function<int(int, int)>& expect, int fieldRow = 0) {
  const int size = p == 0 ? 16 : 8;
  const auto out = test::fieldSamples(h.output, p, parity);
  for (int line = fieldRow * size; line < (fieldRow + 1) * size; ++line)
    for (int x = column * size; x < (column + 1) * size; ++x)
      ASSERT_EQ(out(x, line), expect(x, line)) << "plane " << p << " at " << x << ", field line " << line;
}

struct SecondFieldCase {
  int structure;  // 1 top field, 2 bottom field
  int secondField;
};

void PrintTo(const SecondFieldCase& c, std::ostream* out) {
  *out << (c.structure == 1 ? "top" : "bottom") << (c.secondField ? " second field" : " first field");
}

class PFieldPicture : public ::testing::TestWithParam<SecondFieldCase> {
 protected:
  PFieldPicture() : h(128, 64, 2, GetParam().structure) {
    h.secondField = GetParam().secondField;
    test::fillPattern(h.forward, 1);
    test::fillPattern(h.output, 9);  // the frame's other field, as decoded already
  }
  int parity() const { return GetParam().structure == 2 ? 1 : 0; }
  SliceHarness h;
};

// The other-parity field is the first field of the current frame only in a
// frame's second field; the same-parity field always comes from the forward
// reference, also for skipped and pattern-only macroblocks.
TEST_P(PFieldPicture, EachPredictionReadsTheRightField) {
  const int same = parity(), other = 1 - parity();
  BitWriter w;
  w.sliceHeader(8);
  w.addressIncrement(1);
  w.putVlc(kVlcMacroblockTypeP, kMbForward);
  w.put(1, 2);      // field_motion_type: field
  w.put(static_cast<uint32_t>(other), 1);  // motion_vertical_field_select
  w.motionVector(0);
  w.motionVector(0);
  w.addressIncrement(3);  // columns 1 and 2 skipped
  w.putVlc(kVlcMacroblockTypeP, kMbPattern);
  w.putVlc(kVlcCodedBlockPattern, 1);  // Cr only
  w.interBlock(0, 1);                  // Cr residual +3
  test::GuardedFrame before = h.output;
  ASSERT_EQ(h.decode(w, 1), 0);

  test::GuardedFrame& otherSource = GetParam().secondField ? h.output : h.forward;
  for (int p = 0; p < 3; ++p) {
    expectFieldMacroblock(h, p, 0, same, test::fieldSamples(otherSource, p, other));
    for (int column = 1; column < 4; ++column) {
      const auto fwd = test::fieldSamples(h.forward, p, same);
      expectFieldMacroblock(h, p, column, same, [&](int x, int line) {
        return std::min(255, fwd(x, line) + (p == 2 && column == 3 ? 3 : 0));
      });
    }
    // The other field's lines are left as they were.
    for (int column = 0; column < 4; ++column)
      expectFieldMacroblock(h, p, column, other, test::fieldSamples(before, p, other));
  }
}

INSTANTIATE_TEST_SUITE_P(Fields, PFieldPicture,
                         ::testing::Values(SecondFieldCase{1, 0}, SecondFieldCase{2, 0},
                                           SecondFieldCase{1, 1}, SecondFieldCase{2, 1}));

TEST_P(PFieldPicture, DualPrimeAveragesSameAndOtherParity) {
  const int same = parity(), other = 1 - parity();
  BitWriter w;
  w.sliceHeader(8);
  w.addressIncrement(1);
  w.putVlc(kVlcMacroblockTypeP, kMbForward);
  w.put(3, 2);  // field_motion_type: dual prime
  w.motionVector(2);
  w.putCode("0");  // dmvector[0] = 0
  w.motionVector(0);
  w.putCode("11");  // dmvector[1] = -1
  ASSERT_EQ(h.decode(w, 2), 0);  // field macroblock row 1: the derived vector may point up
  // Derived vector: (2 * 1 + 1) >> 1 = 1; 0 + e - 1 with e = -1 for top lines
  // from the bottom field, +1 for bottom lines from the top field.
  const int derivedY = (same == 0 ? -1 : 1) - 1;
  test::GuardedFrame& otherSource = GetParam().secondField ? h.output : h.forward;
  test::GuardedFrame otherCopy = otherSource;  // the output's other field before decoding
  for (int p = 0; p < 3; ++p) {
    const int d = p == 0 ? 1 : 2;
    const auto a = test::fieldSamples(h.forward, p, same);
    const auto b = test::fieldSamples(otherCopy, p, other);
    expectFieldMacroblock(h, p, 0, same, [&](int x, int line) {
      const int pa = test::halfSample(a, x, line, 2 / d, 0);
      const int pb = test::halfSample(b, x, line, 1 / d, derivedY / d);
      return (pa + pb + 1) >> 1;
    }, 1);
  }
}

class BFieldPicture : public ::testing::Test {
 protected:
  BFieldPicture() : h(128, 64, 3, 1) {
    test::fillPattern(h.forward, 3);
    test::fillPattern(h.backward, 4);
  }
  SliceHarness h;
};

// After a 16x8 macroblock that read the bottom fields, a skipped macroblock
// of a top field predicts from the top field with PMV[0].
TEST_F(BFieldPicture, SkipUsesSameParityFieldAndPmv0After16x8) {
  BitWriter w;
  w.sliceHeader(8);
  w.addressIncrement(1);
  w.putVlc(kVlcMacroblockTypeB, kMbForward);
  w.put(2, 2);  // field_motion_type: 16x8
  w.put(1, 1);
  w.motionVector(2);
  w.motionVector(0);  // upper half: bottom field, (2, 0)
  w.put(1, 1);
  w.motionVector(0);
  w.motionVector(2);  // lower half: bottom field, (0, 2)
  w.addressIncrement(2);  // column 1 skipped
  w.putVlc(kVlcMacroblockTypeB, kMbForward);
  w.put(1, 2);  // field
  w.put(0, 1);
  w.motionVector(0);
  w.motionVector(0);  // (2, 0) from PMV[0]
  ASSERT_EQ(h.decode(w, 1), 0);
  for (int p = 0; p < 3; ++p) {
    const int d = p == 0 ? 1 : 2, half = p == 0 ? 8 : 4;
    const auto bottom = test::fieldSamples(h.forward, p, 1);
    const auto top = test::fieldSamples(h.forward, p, 0);
    expectFieldMacroblock(h, p, 0, 0, [&](int x, int line) {
      return line < half ? test::halfSample(bottom, x, line, 2 / d, 0)
                         : test::halfSample(bottom, x, line, 0, 2 / d);
    });
    for (int column = 1; column < 3; ++column)
      expectFieldMacroblock(h, p, column, 0,
                            [&](int x, int line) { return test::halfSample(top, x, line, 2 / d, 0); });
  }
}

// Dual prime in a frame picture: the top lines average the top reference
// field (transmitted vector) and the bottom field (vector scaled by m = 1,
// e = -1); the bottom lines the bottom field and the top field (m = 3, e = +1)
// for top_field_first 1.
TEST(DualPrimeFrame, EachFieldOfTheMacroblockAveragesTwoFields) {
  SliceHarness h(64, 64, 2);
  h.picture.framePredFrameDct = 0;
  test::fillPattern(h.forward, 6);
  BitWriter w;
  w.sliceHeader(8);
  w.addressIncrement(1);
  w.putVlc(kVlcMacroblockTypeP, kMbForward);
  w.put(3, 2);  // frame_motion_type: dual prime
  w.motionVector(2);
  w.putCode("0");
  w.motionVector(2);
  w.putCode("10");  // dmvector (0, +1); vector (2, 2) in field lines
  ASSERT_EQ(h.decode(w, 2), 0);
  for (int p = 0; p < 3; ++p) {
    const int d = p == 0 ? 1 : 2, size = p == 0 ? 16 : 8;
    const auto top = test::fieldSamples(h.forward, p, 0), bottom = test::fieldSamples(h.forward, p, 1);
    const auto out = test::frameSamples(h.output, p);
    for (int y = size; y < 2 * size; ++y)
      for (int x = 0; x < size; ++x) {
        const int line = y / 2;
        int expected;
        if (y % 2 == 0)
          expected = (test::halfSample(top, x, line, 2 / d, 2 / d) +
                      test::halfSample(bottom, x, line, 1 / d, 1 / d) + 1) >> 1;
        else
          expected = (test::halfSample(bottom, x, line, 2 / d, 2 / d) +
                      test::halfSample(top, x, line, 3 / d, 5 / d) + 1) >> 1;
        ASSERT_EQ(out(x, y), expected) << "plane " << p << " at " << x << "," << y;
      }
  }
}

}  // namespace
}  // namespace quarlin
