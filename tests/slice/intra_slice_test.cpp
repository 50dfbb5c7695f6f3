// Intra slices on synthetic streams, for what encoders rarely write: address
// increments that skip or escape, extra_information_slice, forbidden slices,
// the row extension of tall pictures, the last row of 352 x 288; nothing
// outside the decoded macroblocks (nor outside the host's plane sizes) is
// touched. (Intra macroblocks as encoders write them, at every scale, are
// compared with FFmpeg and with the reduced-scale model on the corpus.)
#include <gtest/gtest.h>

#include <functional>

#include "primitives/vlc_table_set.h"
#include "slice/slice_decoder.h"
#include "slice_test_stream.h"

namespace quarlin {
namespace {

using test::BitWriter;
using test::SliceHarness;

// One intra macroblock (macroblock_type intra) of DC-only blocks: the four
// luma differentials, then Cb and Cr.
void intraMacroblock(BitWriter& w, int increment, const int (&dc)[6]) {
  w.addressIncrement(increment);
  w.putVlc(kVlcMacroblockTypeI, 1);
  for (int k = 0; k < 6; ++k) w.intraDcBlock(k < 4, dc[k]);
}

// Expected sample of plane p at (x, y): `inside` answers for samples of
// decoded macroblocks, every other byte keeps the fill.
void expectPlane(SliceHarness& h, int p, const std::function<int(int, int)>& inside, int fill) {
  const int stride = p == 0 ? h.lumaStride() : h.chromaStride();
  test::GuardedPlane& plane = h.output.plane(p);
  for (int64_t offset = 0; offset < plane.size(); ++offset) {
    const int y = static_cast<int>(offset / stride), x = static_cast<int>(offset % stride);
    const int value = inside(x, y);
    ASSERT_EQ(plane.at(offset), value < 0 ? fill : value) << "plane " << p << " at " << x << "," << y;
  }
  EXPECT_TRUE(plane.guardsIntact());
}

TEST(IntraSlice, IncrementsLeaveSkippedPositionsUnwritten) {
  SliceHarness h(96, 16, 1);
  BitWriter w;
  w.sliceHeader(4);
  intraMacroblock(w, 2, {20, 0, 0, 0, 0, 0});  // column 1
  intraMacroblock(w, 3, {0, 0, 0, 0, 0, 0});   // column 4; 2 and 3 skipped
  ASSERT_EQ(h.decode(w, 1), 0);
  expectPlane(h, 0, [](int x, int y) {
    if (y >= 16) return -1;
    const int column = x / 16;
    return column == 1 || column == 4 ? 148 : -1;
  }, 0x11);
}

TEST(IntraSlice, TwoEscapesAndIncrementOneAdvanceBy67) {
  SliceHarness h(1104, 16, 1);  // 69 macroblocks per row
  BitWriter w;
  w.sliceHeader(4);
  intraMacroblock(w, 67, {-28, 0, 0, 0, 0, 0});  // column 66
  ASSERT_EQ(h.decode(w, 1), 0);
  expectPlane(h, 0, [](int x, int y) { return y < 16 && x >= 66 * 16 && x < 67 * 16 ? 100 : -1; },
              0x11);
}

TEST(IntraSlice, ExtraInformationBytesAreSkipped) {
  SliceHarness h(64, 32, 1);
  BitWriter w;
  w.put(4, 5);     // quantiser_scale_code
  w.put(1, 1);     // extra_bit_slice ...
  w.put(1, 1);     // intra_slice
  w.put(0, 7);     // reserved
  w.put(1, 1);     // extra_bit_slice
  w.put(0xFF, 8);  // extra_information_slice
  w.put(0, 1);
  intraMacroblock(w, 1, {-8, 0, 0, 0, 0, 0});
  ASSERT_EQ(h.decode(w, 1), 0);
  EXPECT_EQ(h.output.y.at(0), 120);
}

// Slices the syntax forbids decode nothing more: quantiser_scale_code 0 in
// the header, a row beyond the picture, an address past its last
// macroblock (the macroblocks before it stay).
TEST(IntraSlice, ForbiddenSlicesAreRefused) {
  const struct {
    const char* name;
    int quantiserScaleCode, row, secondIncrement;
  } cases[] = {{"quantiser_scale_code 0", 0, 1, 0}, {"row 3 of 2", 4, 3, 0}, {"address 13 of 8", 4, 2, 5}};
  for (const auto& c : cases) {
    SliceHarness h(64, 32, 1);
    BitWriter w;
    w.sliceHeader(c.quantiserScaleCode);
    intraMacroblock(w, 1, {0, 0, 0, 0, 0, 0});
    if (c.secondIncrement) intraMacroblock(w, c.secondIncrement, {0, 0, 0, 0, 0, 0});
    EXPECT_EQ(h.decode(w, c.row), -2) << c.name;
    const bool firstStays = c.secondIncrement != 0;
    expectPlane(h, 0, [&](int x, int y) { return firstStays && x < 16 && y >= 16 && y < 32 ? 128 : -1; }, 0x11);
  }
}

// Above 2800 lines slice_vertical_position_extension (3 bits) comes first:
// row = (extension << 7) + slice_vertical_position.
TEST(IntraSlice, TallPicturesPlaceSlicesWithTheRowExtension) {
  SliceHarness h(16, 2816, 1);  // 176 macroblock rows
  BitWriter w;
  w.put(1, 3);  // extension 1: row (1 << 7) + 48 = 176, the last
  w.sliceHeader(4);
  intraMacroblock(w, 1, {12, 0, 0, 0, 0, 0});
  ASSERT_EQ(h.decode(w, 48), 0);
  expectPlane(h, 0, [](int x, int y) { return x < 16 && y >= 175 * 16 && y < 176 * 16 ? 140 : -1; }, 0x11);
}

// 352 x 288: the reported chroma size (36608 bytes) ends where the last
// chroma row (143, stride 256) begins; the picture's last row is decoded all
// the same, into the plane a host allocates to hold the macroblock rows.
TEST(IntraSlice, LastRowOf352x288IsDecodedInFull) {
  SliceHarness h(352, 288, 1);
  BitWriter w;
  w.sliceHeader(4);
  for (int column = 0; column < 22; ++column)
    intraMacroblock(w, 1, {column == 0 ? 6 : 0, 0, 0, 0, column == 0 ? 9 : 0, 0});
  ASSERT_EQ(h.decode(w, 18), 0);
  EXPECT_TRUE(h.output.guardsIntact());
  const int cs = h.chromaStride();
  ASSERT_EQ(h.output.cb.size(), 144 * cs);
  EXPECT_EQ(h.output.cb.at(136 * cs), 137);
  EXPECT_EQ(h.output.cb.at(143 * cs + 175), 137);
  EXPECT_EQ(h.output.cb.at(143 * cs + 176), 0x11);
  EXPECT_EQ(h.output.y.at(287 * h.lumaStride() + 351), 134);
}

}  // namespace
}  // namespace quarlin
