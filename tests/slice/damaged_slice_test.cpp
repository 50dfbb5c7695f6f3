// Damaged slices: random data after a slice header, in every decoder variant
// and with random picture coding flags, must end with 0, -1 or -2, must not
// write outside the picture's macroblocks at the decode scale, must leave the
// reference planes unchanged and the canaries around every plane intact.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "primitives/vlc_table_set.h"
#include "slice/macroblock_decoder.h"
#include "slice_test_stream.h"

namespace quarlin {
namespace {

using test::BitWriter;
using test::SliceHarness;

struct VariantCase {
  int type, structure, secondField, reducedResolution, reductionMode;
};

void PrintTo(const VariantCase& v, std::ostream* out) {
  *out << "type " << v.type << ", structure " << v.structure << (v.secondField ? ", second field" : "")
       << ", options " << v.reducedResolution << "/" << v.reductionMode;
}

std::vector<uint8_t> snapshot(test::GuardedFrame& f) {
  std::vector<uint8_t> all;
  for (int p = 0; p < 3; ++p) all.insert(all.end(), f.plane(p).data(), f.plane(p).data() + f.plane(p).size());
  return all;
}

class DamagedSlice : public ::testing::TestWithParam<VariantCase> {};

TEST_P(DamagedSlice, FailsInsideThePictureOnly) {
  const VariantCase v = GetParam();
  const int width = 72, height = 64;  // 5 x 4 macroblocks, stride 128
  std::mt19937 random(977u * static_cast<unsigned>(v.type * 16 + v.structure * 4 + v.reductionMode +
                                                   v.reducedResolution * 2 + v.secondField));
  int failures = 0;
  constexpr int kRuns = 80;
  for (int run = 0; run < kRuns; ++run) {
    SliceHarness h(width, height, v.type, v.structure);
    h.secondField = v.secondField;
    h.reducedResolution = v.reducedResolution;
    h.reductionMode = v.reductionMode;
    h.picture.framePredFrameDct = random() & 1;
    h.picture.concealmentMotionVectors = random() & 1;
    h.picture.qScaleType = random() & 1;
    h.picture.alternateScan = random() & 1;
    h.picture.intraVlcFormat = random() & 1;
    h.picture.intraDcPrecision = static_cast<int32_t>(random() % 4);
    h.picture.topFieldFirst = random() & 1;
    for (int32_t& f : h.picture.fCode) f = 1 + static_cast<int32_t>(random() % 9);
    const std::vector<uint8_t> forward = snapshot(h.forward), backward = snapshot(h.backward);

    BitWriter w;
    w.sliceHeader(1 + static_cast<int>(random() % 31));
    const int length = 1 + static_cast<int>(random() % 700);
    for (int i = 0; i < length; ++i) w.put(random() & 0xFF, 8);
    const int rows = v.structure == 3 ? 4 : 2;
    const int result = h.decode(w, 1 + static_cast<int>(random() % rows));
    ASSERT_TRUE(result == 0 || result == -1 || result == -2) << "result " << result;
    failures += result != 0;

    ASSERT_TRUE(h.output.guardsIntact() && h.forward.guardsIntact() && h.backward.guardsIntact());
    ASSERT_EQ(snapshot(h.forward), forward);
    ASSERT_EQ(snapshot(h.backward), backward);
    // Nothing outside the picture's macroblocks at this scale.
    const bool reduced = v.reducedResolution != 0;
    const int lumaCols = (reduced ? 8 : 16) * 5, lumaRows = (v.reductionMode == 1 && reduced ? 8 : 16) * 4;
    for (int p = 0; p < 3; ++p) {
      const int stride = p == 0 ? h.lumaStride() : h.chromaStride();
      const int cols = p == 0 ? lumaCols : lumaCols / 2, picRows = p == 0 ? lumaRows : lumaRows / 2;
      test::GuardedPlane& plane = h.output.plane(p);
      for (int64_t o = 0; o < plane.size(); ++o) {
        if (o % stride < cols && o / stride < picRows) continue;
        ASSERT_EQ(plane.at(o), 0x11) << "plane " << p << " offset " << o << " run " << run;
      }
    }
  }
  EXPECT_GT(failures, kRuns / 2);  // random data is almost never a valid slice
}

INSTANTIATE_TEST_SUITE_P(
    Variants, DamagedSlice,
    ::testing::Values(VariantCase{1, 3, 0, 0, 0}, VariantCase{2, 3, 0, 0, 0}, VariantCase{3, 3, 0, 0, 0},
                      VariantCase{1, 3, 0, 1, 2}, VariantCase{2, 3, 0, 1, 2}, VariantCase{3, 3, 0, 1, 2},
                      VariantCase{1, 3, 0, 1, 1}, VariantCase{2, 3, 0, 1, 1}, VariantCase{3, 3, 0, 1, 1},
                      VariantCase{1, 1, 0, 0, 0}, VariantCase{2, 2, 1, 0, 0}, VariantCase{2, 1, 1, 0, 0},
                      VariantCase{3, 2, 0, 0, 0}));

TEST(SliceBound, MacroblocksPastTheBoundFailTheSlice) {
  SliceHarness h(352, 32, 1);
  BitWriter w;
  w.sliceHeader(4);
  for (int column = 0; column < 22; ++column) {
    w.addressIncrement(1);
    w.putVlc(kVlcMacroblockTypeI, kMbIntra);
    for (int k = 0; k < 6; ++k) w.intraDcBlock(k < 4, column == 0 && k == 0 ? 40 : 0);
  }
  h.sliceEndWords = 4;  // the bound lies inside the second or third macroblock
  EXPECT_EQ(h.decode(w, 1), -1);
  EXPECT_EQ(h.output.y.at(0), 168);
  EXPECT_EQ(h.output.y.at(21 * 16), 0x11);  // the last macroblock was never reached
}

}  // namespace
}  // namespace quarlin
