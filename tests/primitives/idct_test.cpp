// The inverse DCTs against IEEE Std 1180-1990: random pixel blocks from the
// standard's generator, a double-precision forward and inverse transform as
// reference, and the standard's error limits. Also the output forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "primitives/primitives.h"

namespace quarlin::test {
namespace {

// The random number generator of IEEE Std 1180-1990 (32-bit long arithmetic).
class Ieee1180Random {
 public:
  int next(int low, int high) {  // -low .. high
    state_ = state_ * 1103515245u + 12345u;
    const double x = double(state_ & 0x7ffffffeu) / double(0x7fffffff) * (low + high + 1);
    return int(x) - low;
  }

 private:
  uint32_t state_ = 1;
};

double basis(int k, int n) {
  const double c = k == 0 ? std::sqrt(0.5) : 1.0;
  return c * std::cos((2 * n + 1) * k * M_PI / 16.0);
}

// F(u, v) = 1/4 C(u) C(v) sum f(x, y) cos cos, and its inverse; raster [row][column].
void referenceTransform(const double* in, double* out, bool inverse) {
  for (int a = 0; a < 8; ++a) {
    for (int b = 0; b < 8; ++b) {
      double sum = 0;
      for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) {
          sum += in[8 * i + j] * (inverse ? basis(i, a) * basis(j, b) : basis(a, i) * basis(b, j));
        }
      }
      out[8 * a + b] = sum / 4;
    }
  }
}

struct ErrorStatistics {
  int peak = 0;
  double positionSquared[64] = {};
  double positionSum[64] = {};
  int blocks = 0;

  void add(const int* test, const int* reference) {
    for (int i = 0; i < 64; ++i) {
      const int e = test[i] - reference[i];
      peak = std::max(peak, std::abs(e));
      positionSquared[i] += e * e;
      positionSum[i] += e;
    }
    ++blocks;
  }
  void expectWithinLimits() const {
    double squared = 0, sum = 0;
    EXPECT_LE(peak, 1);
    for (int i = 0; i < 64; ++i) {
      EXPECT_LE(positionSquared[i] / blocks, 0.06) << "position " << i;
      EXPECT_LE(std::abs(positionSum[i]) / blocks, 0.015) << "position " << i;
      squared += positionSquared[i];
      sum += positionSum[i];
    }
    EXPECT_LE(squared / (64.0 * blocks), 0.02);
    EXPECT_LE(std::abs(sum) / (64.0 * blocks), 0.0015);
  }
};

int clip(double v, int low, int high) { return int(std::clamp(v, double(low), double(high))); }

struct Ieee1180Case {
  int low, high;
  bool negate;
};

class Ieee1180 : public testing::TestWithParam<Ieee1180Case> {};

// IEEE 1180 steps: pixels in [-low, high] (or their negation), forward
// transform rounded and clipped to 12 bits, reference inverse rounded and
// clipped to [-256, 255], the transform under test clipped likewise. The 8-bit
// form must give the 16-bit result clamped to [0, 255].
TEST_P(Ieee1180, TransformMeetsTheAccuracyLimits) {
  const Ieee1180Case c = GetParam();
  Ieee1180Random random;
  ErrorStatistics stats;
  for (int block = 0; block < 10000; ++block) {
    double pixels[64], coefficients[64], rounded[64], reconstructed[64];
    for (double& p : pixels) p = (c.negate ? -1 : 1) * random.next(c.low, c.high);
    referenceTransform(pixels, coefficients, false);
    Ipp16s input[64];
    for (int i = 0; i < 64; ++i) {
      rounded[i] = clip(std::floor(coefficients[i] + 0.5), -2048, 2047);
      input[i] = Ipp16s(rounded[i]);
    }
    referenceTransform(rounded, reconstructed, true);
    int reference[64], test[64];
    for (int i = 0; i < 64; ++i) reference[i] = clip(std::floor(reconstructed[i] + 0.5), -256, 255);

    Ipp16s out[64];
    Ipp8u bytes[64];
    ASSERT_EQ(ippiDCT8x8Inv_16s_C1R(input, out, 16), ippStsNoErr);
    ASSERT_EQ(ippiDCT8x8InvLSClip_16s8u_C1R(input, bytes, 8, 0, 0, 255), ippStsNoErr);
    for (int i = 0; i < 64; ++i) {
      test[i] = std::clamp<int>(out[i], -256, 255);
      ASSERT_EQ(bytes[i], std::clamp<int>(out[i], 0, 255)) << "block " << block;
    }
    stats.add(test, reference);
  }
  stats.expectWithinLimits();
}

INSTANTIATE_TEST_SUITE_P(Ranges, Ieee1180,
                         testing::Values(Ieee1180Case{256, 255, false}, Ieee1180Case{5, 5, false},
                                         Ieee1180Case{300, 300, false},
                                         Ieee1180Case{256, 255, true}, Ieee1180Case{5, 5, true},
                                         Ieee1180Case{300, 300, true}));

TEST(InverseDct, ZeroBlockGivesZeros) {
  const Ipp16s zeros[64] = {};
  Ipp16s out[64];
  Ipp8u bytes[64];
  std::fill(out, out + 64, Ipp16s(7));
  std::fill(bytes, bytes + 64, Ipp8u(7));
  ASSERT_EQ(ippiDCT8x8Inv_16s_C1R(zeros, out, 16), ippStsNoErr);
  ASSERT_EQ(ippiDCT8x8InvLSClip_16s8u_C1R(zeros, bytes, 8, 0, 0, 255), ippStsNoErr);
  EXPECT_TRUE(std::all_of(out, out + 64, [](Ipp16s v) { return v == 0; }));
  EXPECT_TRUE(std::all_of(bytes, bytes + 64, [](Ipp8u v) { return v == 0; }));
}

// A DC of 8 * v reconstructs to v everywhere; the 8-bit form adds the level
// shift and clamps to its bounds.
TEST(InverseDct, LevelShiftAndClamping) {
  Ipp16s block[64] = {};
  Ipp8u bytes[64];
  block[0] = 8 * -20;
  ASSERT_EQ(ippiDCT8x8InvLSClip_16s8u_C1R(block, bytes, 8, 0, 0, 255), ippStsNoErr);
  EXPECT_EQ(bytes[0], 0);
  ASSERT_EQ(ippiDCT8x8InvLSClip_16s8u_C1R(block, bytes, 8, 128, 0, 255), ippStsNoErr);
  EXPECT_EQ(bytes[27], 108);
  ASSERT_EQ(ippiDCT8x8InvLSClip_16s8u_C1R(block, bytes, 8, 128, 110, 120), ippStsNoErr);
  EXPECT_EQ(bytes[63], 110);
  // Arguments too large for 32-bit sums are still exact.
  ASSERT_EQ(ippiDCT8x8InvLSClip_16s8u_C1R(block, bytes, 8, 2000000000, -2000000000, 255),
            ippStsNoErr);
  EXPECT_EQ(bytes[5], 255);
  ASSERT_EQ(ippiDCT8x8InvLSClip_16s8u_C1R(block, bytes, 8, -2000000000, 7, 2000000000),
            ippStsNoErr);
  EXPECT_EQ(bytes[5], 7);
  block[0] = 8 * 300;
  ASSERT_EQ(ippiDCT8x8InvLSClip_16s8u_C1R(block, bytes, 8, 0, 0, 255), ippStsNoErr);
  EXPECT_EQ(bytes[9], 255);
  Ipp16s out[64];
  ASSERT_EQ(ippiDCT8x8Inv_16s_C1R(block, out, 16), ippStsNoErr);
  EXPECT_EQ(out[9], 300);
}

// Rows go to destination + row * step and nothing between or after them is
// written; the 16-bit form accepts a step that is not a multiple of 2.
TEST(InverseDct, WritesRowsAtTheStepOnly) {
  std::mt19937 random(7);
  Ipp16s block[64];
  for (Ipp16s& v : block) v = Ipp16s(int(random() % 401) - 200);
  Ipp16s packed[64];
  ASSERT_EQ(ippiDCT8x8Inv_16s_C1R(block, packed, 16), ippStsNoErr);

  const int step = 37;
  std::vector<Ipp8u> canvas(8 * step + 8, 0xCD);
  ASSERT_EQ(ippiDCT8x8Inv_16s_C1R(block, reinterpret_cast<Ipp16s*>(canvas.data() + 1), step),
            ippStsNoErr);
  for (int i = 0; i < int(canvas.size()); ++i) {
    const int row = (i - 1) / step, column = (i - 1) % step;
    if (i >= 1 && row < 8 && column < 16) {
      Ipp16s v;
      std::memcpy(&v, &canvas[1 + row * step + column / 2 * 2], 2);
      ASSERT_EQ(v, packed[8 * row + column / 2]) << "byte " << i;
    } else {
      ASSERT_EQ(canvas[i], 0xCD) << "byte " << i;
    }
  }

  std::vector<Ipp8u> bytes(8 * step + 8, 0xCD);
  ASSERT_EQ(ippiDCT8x8InvLSClip_16s8u_C1R(block, bytes.data() + 3, step, 128, 0, 255), ippStsNoErr);
  for (int i = 0; i < int(bytes.size()); ++i) {
    const int row = (i - 3) / step, column = (i - 3) % step;
    if (i >= 3 && row < 8 && column < 8) {
      ASSERT_EQ(bytes[i], std::clamp(packed[8 * row + column] + 128, 0, 255));
    } else {
      ASSERT_EQ(bytes[i], 0xCD) << "byte " << i;
    }
  }
}

TEST(InverseDct, InPlaceTransformEqualsCopy) {
  Ipp16s block[64], copy[64], out[64];
  for (int i = 0; i < 64; ++i) block[i] = Ipp16s((i * 37) % 61 - 30);
  std::memcpy(copy, block, sizeof block);
  ASSERT_EQ(ippiDCT8x8Inv_16s_C1R(copy, out, 16), ippStsNoErr);
  ASSERT_EQ(ippiDCT8x8Inv_16s_C1R(block, block, 16), ippStsNoErr);
  EXPECT_EQ(std::memcmp(block, out, sizeof out), 0);
}

TEST(InverseDct, RejectsNullPointersAndSteps) {
  Ipp16s block[64] = {}, out[64];
  Ipp8u bytes[64];
  EXPECT_EQ(ippiDCT8x8Inv_16s_C1R(nullptr, out, 16), ippStsNullPtrErr);
  EXPECT_EQ(ippiDCT8x8Inv_16s_C1R(block, nullptr, 16), ippStsNullPtrErr);
  EXPECT_EQ(ippiDCT8x8Inv_16s_C1R(block, out, 0), ippStsStepErr);
  EXPECT_EQ(ippiDCT8x8InvLSClip_16s8u_C1R(nullptr, bytes, 8, 0, 0, 255), ippStsNullPtrErr);
  EXPECT_EQ(ippiDCT8x8InvLSClip_16s8u_C1R(block, nullptr, 8, 0, 0, 255), ippStsNullPtrErr);
  EXPECT_EQ(ippiDCT8x8InvLSClip_16s8u_C1R(block, bytes, -8, 0, 0, 255), ippStsStepErr);
}

// Coefficients far outside the 12-bit range (no saturation upstream) give
// defined, saturated results and never fault.
TEST(InverseDct, ExtremeCoefficientsSaturate) {
  Ipp16s block[64], out[64];
  std::fill(block, block + 64, Ipp16s(-32768));
  ASSERT_EQ(ippiDCT8x8Inv_16s_C1R(block, out, 16), ippStsNoErr);
  block[0] = 32767;
  Ipp8u bytes[64];
  ASSERT_EQ(ippiDCT8x8InvLSClip_16s8u_C1R(block, bytes, 8, 0, 0, 255), ippStsNoErr);
  Ipp16s dcOnly[64] = {32767};
  ASSERT_EQ(ippiDCT8x8Inv_16s_C1R(dcOnly, out, 16), ippStsNoErr);
  EXPECT_TRUE(std::all_of(out, out + 64, [&](Ipp16s v) { return v == out[0] && v > 0; }));
}

}  // namespace
}  // namespace quarlin::test
