// The inverse DCTs take shorter paths for sparse blocks (a DC-only block,
// rows and columns beyond the last non-zero one, a lone coefficient 63 from
// mismatch control, a vectorised pass for dense blocks with its fallback for
// out-of-range rows). Every path must give exactly the bits of the full
// transform of the same block.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "primitives/idct_arithmetic.h"
#include "primitives/primitives.h"

namespace quarlin::test {
namespace {

struct Outputs {
  Ipp16s shorts[64];
  Ipp8u bytes[64];
};

Outputs transformBoth(const Ipp16s* block) {
  Outputs o;
  EXPECT_EQ(ippiDCT8x8Inv_16s_C1R(block, o.shorts, 16), ippStsNoErr);
  EXPECT_EQ(ippiDCT8x8InvLSClip_16s8u_C1R(block, o.bytes, 8, 0, 0, 255), ippStsNoErr);
  return o;
}

// Both primitives against the shortcut-free transform; the 8-bit form is the
// same values clamped.
void expectFullTransform(const Ipp16s* block) {
  Ipp16s want[64];
  generic::idct::fullTransform(block, want);
  const Outputs got = transformBoth(block);
  for (int i = 0; i < 64; ++i) {
    ASSERT_EQ(got.shorts[i], want[i]) << "sample " << i;
    ASSERT_EQ(got.bytes[i], std::clamp<int>(want[i], 0, 255)) << "sample " << i;
  }
}

std::string describe(const Ipp16s* block) {
  std::string s;
  for (int i = 0; i < 64; ++i) s += std::to_string(block[i]) + (i % 8 == 7 ? "; " : " ");
  return s;
}

// Every DC value, alone and with the +-1 that mismatch control puts in
// coefficient 63 of an even block.
TEST(InverseDctPaths, DcOnlyBlocksMatchTheFullTransformOverTheWholeRange) {
  for (const Ipp16s last : {Ipp16s(0), Ipp16s(1), Ipp16s(-1)}) {
    for (int dc = INT16_MIN; dc <= INT16_MAX; ++dc) {
      Ipp16s block[64] = {};
      block[0] = Ipp16s(dc);
      block[63] = last;
      SCOPED_TRACE(testing::Message() << "dc " << dc << " last " << last);
      ASSERT_NO_FATAL_FAILURE(expectFullTransform(block));
    }
  }
}

enum class Values { Small, Coefficients, Extreme };

Ipp16s randomValue(std::mt19937& random, Values kind) {
  switch (kind) {
    case Values::Small:
      return Ipp16s(int(random() % 41) - 20);
    case Values::Coefficients:
      return Ipp16s(int(random() % 4096) - 2048);
    default:
      return random() % 2 ? Ipp16s(random()) : (random() % 2 ? INT16_MAX : INT16_MIN);
  }
}

// Blocks of every extent: non-zero coefficients only in the first `columns`
// columns of the first `rows` rows (each present with probability 1/2, the
// corner always), with or without coefficient 63, with small values, the
// range of dequantised coefficients and extremes (rows that leave 16 bits).
TEST(InverseDctPaths, EveryBlockShapeMatchesTheFullTransform) {
  std::mt19937 random(20240613);
  for (const Values kind : {Values::Small, Values::Coefficients, Values::Extreme}) {
    for (int columns = 1; columns <= 8; ++columns) {
      for (int rows = 0; rows <= 8; ++rows) {
        for (int lastKind = 0; lastKind < 3; ++lastKind) {
          for (int trial = 0; trial < 12; ++trial) {
            Ipp16s block[64] = {};
            for (int r = 0; r < rows; ++r) {
              for (int c = 0; c < columns; ++c) {
                if (random() % 2 == 0 || (r == rows - 1 && c == columns - 1)) {
                  block[8 * r + c] = randomValue(random, kind);
                }
              }
            }
            if (lastKind == 1) block[63] = random() % 2 ? Ipp16s(1) : Ipp16s(-1);
            if (lastKind == 2) block[63] = randomValue(random, kind);
            SCOPED_TRACE(describe(block));
            ASSERT_NO_FATAL_FAILURE(expectFullTransform(block));
          }
        }
      }
    }
  }
}

// Full blocks whose row results pass 16 bits take the row-by-row saturating
// path again; the results must still be the full transform's.
TEST(InverseDctPaths, DenseBlocksWithSaturatingRowsMatchTheFullTransform) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 2000; ++trial) {
    Ipp16s block[64];
    for (Ipp16s& v : block) v = randomValue(random, Values::Coefficients);
    block[random() % 64] = random() % 2 ? INT16_MAX : INT16_MIN;  // one row overflows
    SCOPED_TRACE(describe(block));
    ASSERT_NO_FATAL_FAILURE(expectFullTransform(block));
  }
}

}  // namespace
}  // namespace quarlin::test
