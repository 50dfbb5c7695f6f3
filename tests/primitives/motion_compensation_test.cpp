// Motion-compensation kernels against the formulas of ISO/IEC 13818-2 7.6.4
// and 7.6.7, and the copy kernels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "primitives/primitives.h"

namespace quarlin::test {
namespace {

using McOne = IppStatus (*)(const Ipp8u*, Ipp32s, const Ipp16s*, Ipp32s, Ipp8u*, Ipp32s, Ipp32s,
                            Ipp32s);
using McTwo = IppStatus (*)(const Ipp8u*, Ipp32s, Ipp32s, const Ipp8u*, Ipp32s, Ipp32s,
                            const Ipp16s*, Ipp32s, Ipp8u*, Ipp32s, Ipp32s);

struct Kernel {
  int width, height;
  McOne one;
  McTwo two;
};

const Kernel kKernels[] = {
    {16, 16, ippiMC16x16_8u_C1, ippiMC16x16B_8u_C1}, {16, 8, ippiMC16x8_8u_C1, ippiMC16x8B_8u_C1},
    {8, 16, ippiMC8x16_8u_C1, ippiMC8x16B_8u_C1},    {8, 8, ippiMC8x8_8u_C1, ippiMC8x8B_8u_C1},
    {8, 4, ippiMC8x4_8u_C1, ippiMC8x4B_8u_C1},       {4, 8, ippiMC4x8_8u_C1, ippiMC4x8B_8u_C1},
    {4, 4, ippiMC4x4_8u_C1, ippiMC4x4B_8u_C1},       {4, 2, ippiMC4x2_8u_C1, ippiMC4x2B_8u_C1},
};

// A reference plane: random samples, the block's first sample at `origin`.
struct Plane {
  std::vector<Ipp8u> samples;
  int step;
  int origin;
  const Ipp8u* block() const { return samples.data() + origin; }
  int at(int x, int y) const { return samples[size_t(origin + y * step + x)]; }
};

// The residual, 16-bit values at a byte step, starting at an even offset
// that need not be 16-byte aligned.
struct Residual {
  std::vector<Ipp16s> storage;
  int step;   // bytes
  int first;  // element index of the block's first value
  const Ipp16s* block() const { return storage.data() + first; }
  int at(int x, int y) const { return storage[size_t(first + y * step / 2 + x)]; }
};

// A destination block inside a canvas of guard bytes.
struct Destination {
  std::vector<Ipp8u> canvas;
  int step;
  int origin;
  Ipp8u* block() { return canvas.data() + origin; }
};

constexpr Ipp8u kGuard = 0xA7;

class MotionCompensation : public testing::TestWithParam<Kernel> {
 protected:
  std::mt19937 random{1234};

  Plane plane(int w, int h) {
    Plane p;
    p.step = w + 1 + int(random() % 40);  // unaligned steps
    p.origin = 1 + int(random() % 15) + p.step;
    p.samples.resize(size_t(p.origin + (h + 2) * p.step + 2));
    const bool extremes = random() % 4 == 0;
    for (Ipp8u& s : p.samples) s = extremes ? ((random() & 1) ? 255 : 0) : Ipp8u(random());
    return p;
  }

  Residual residual(int w, int h) {
    Residual r;
    r.step = 2 * (w + int(random() % 9));
    r.first = int(random() % 7);
    r.storage.resize(size_t(r.first + h * r.step / 2));
    const int kind = int(random() % 3);
    for (Ipp16s& v : r.storage) {
      v = kind == 0   ? Ipp16s(int(random() % 61) - 30)
          : kind == 1 ? Ipp16s(int(random() % 1024) - 512)
                      : Ipp16s(random());  // saturating sums, -32768..32767
    }
    return r;
  }

  Destination destination(int w, int h) {
    Destination d;
    d.step = w + int(random() % 33);
    d.origin = d.step + 1 + int(random() % 15);
    d.canvas.assign(size_t(d.origin + (h + 1) * d.step), kGuard);
    return d;
  }
};

int halfSample(const Plane& p, int x, int y, int type, int rc) {
  const bool h = (type & 8) != 0, v = (type & 4) != 0;
  if (h && v) {
    return (p.at(x, y) + p.at(x + 1, y) + p.at(x, y + 1) + p.at(x + 1, y + 1) + 2 - rc) >> 2;
  }
  if (h) return (p.at(x, y) + p.at(x + 1, y) + 1 - rc) >> 1;
  if (v) return (p.at(x, y) + p.at(x, y + 1) + 1 - rc) >> 1;
  return p.at(x, y);
}

int saturate(int prediction, int residual) {
  return std::clamp(std::min(prediction + residual, 32767), 0, 255);
}

// Every sample inside the block equals `expected(x, y)`, every byte around it
// still holds the guard.
template <typename Expected>
void expectBlock(const Destination& d, int w, int h, Expected expected) {
  for (int i = 0; i < int(d.canvas.size()); ++i) {
    const int x = (i - d.origin) % d.step, y = (i - d.origin) / d.step;
    const bool inside = i >= d.origin && x >= 0 && x < w && y < h;
    if (inside) {
      ASSERT_EQ(d.canvas[i], expected(x, y)) << "x " << x << " y " << y;
    } else {
      ASSERT_EQ(d.canvas[i], kGuard) << "write outside the block at byte " << i;
    }
  }
}

TEST_P(MotionCompensation, OneDirectionFollowsTheFormulas) {
  const Kernel k = GetParam();
  for (int trial = 0; trial < 40; ++trial) {
    for (int type : {0, 4, 8, 12}) {
      for (int rc : {0, 1}) {
        const Plane ref = plane(k.width, k.height);
        const Residual res = residual(k.width, k.height);
        Destination dst = destination(k.width, k.height);
        const int mcType = type | int(random() % 4) | int(random() % 2) * 16;  // other bits ignored
        ASSERT_EQ(
            k.one(ref.block(), ref.step, res.block(), res.step, dst.block(), dst.step, mcType, rc),
            ippStsNoErr);
        SCOPED_TRACE(testing::Message() << "type " << type << " rc " << rc);
        ASSERT_NO_FATAL_FAILURE(expectBlock(dst, k.width, k.height, [&](int x, int y) {
          return saturate(halfSample(ref, x, y, type, rc), res.at(x, y));
        }));
      }
    }
  }
}

TEST_P(MotionCompensation, TwoDirectionsAverageThenAddTheResidual) {
  const Kernel k = GetParam();
  for (int trial = 0; trial < 10; ++trial) {
    for (int typeF : {0, 4, 8, 12}) {
      for (int typeB : {0, 4, 8, 12}) {
        const int rc = trial % 2;
        const Plane forward = plane(k.width, k.height), backward = plane(k.width, k.height);
        const Residual res = residual(k.width, k.height);
        Destination dst = destination(k.width, k.height);
        ASSERT_EQ(k.two(forward.block(), forward.step, typeF, backward.block(), backward.step,
                        typeB, res.block(), res.step, dst.block(), dst.step, rc),
                  ippStsNoErr);
        SCOPED_TRACE(testing::Message() << "types " << typeF << "/" << typeB << " rc " << rc);
        ASSERT_NO_FATAL_FAILURE(expectBlock(dst, k.width, k.height, [&](int x, int y) {
          const int pF = halfSample(forward, x, y, typeF, rc);
          const int pB = halfSample(backward, x, y, typeB, rc);
          return saturate((pF + pB + 1) >> 1, res.at(x, y));
        }));
      }
    }
  }
}

// Half-sample averages are formed a whole row at a time (or, for four
// samples, from two rounded averages and a correction of the low bit), so
// every combination of low bits must round exactly as the formulas say.
// Reference samples are drawn from the values where the low bits decide (0..7
// and 248..255); the residual is zero so that nothing saturates.
TEST_P(MotionCompensation, HalfSampleAveragesAreExactForEveryLowBitPattern) {
  const Kernel k = GetParam();
  const std::vector<Ipp16s> zeros(size_t(k.width * k.height), 0);
  Residual res{zeros, 2 * k.width, 0};
  for (int trial = 0; trial < 16384 / (k.width * k.height) + 8; ++trial) {
    Plane ref = plane(k.width, k.height), other = plane(k.width, k.height);
    for (Ipp8u& s : ref.samples) s = Ipp8u((random() % 2 ? 248 : 0) + random() % 8);
    for (Ipp8u& s : other.samples) s = Ipp8u((random() % 2 ? 248 : 0) + random() % 8);
    for (int type : {4, 8, 12}) {
      for (int rc : {0, 1}) {
        Destination dst = destination(k.width, k.height);
        ASSERT_EQ(
            k.one(ref.block(), ref.step, res.block(), res.step, dst.block(), dst.step, type, rc),
            ippStsNoErr);
        ASSERT_NO_FATAL_FAILURE(expectBlock(
            dst, k.width, k.height, [&](int x, int y) { return halfSample(ref, x, y, type, rc); }))
            << "type " << type << " rc " << rc;
        Destination both = destination(k.width, k.height);
        ASSERT_EQ(k.two(ref.block(), ref.step, type, other.block(), other.step, 16 - type,
                        res.block(), res.step, both.block(), both.step, rc),
                  ippStsNoErr);
        ASSERT_NO_FATAL_FAILURE(expectBlock(both, k.width, k.height,
                                            [&](int x, int y) {
                                              return (halfSample(ref, x, y, type, rc) +
                                                      halfSample(other, x, y, 16 - type, rc) + 1) >>
                                                     1;
                                            }))
            << "types " << type << "/" << 16 - type << " rc " << rc;
      }
    }
  }
}

TEST_P(MotionCompensation, NullPointersAreRejectedWithoutWriting) {
  const Kernel k = GetParam();
  const Plane ref = plane(k.width, k.height);
  const Residual res = residual(k.width, k.height);
  Destination dst = destination(k.width, k.height);
  EXPECT_EQ(k.one(nullptr, ref.step, res.block(), res.step, dst.block(), dst.step, 0, 0),
            ippStsNullPtrErr);
  EXPECT_EQ(k.one(ref.block(), ref.step, nullptr, res.step, dst.block(), dst.step, 0, 0),
            ippStsNullPtrErr);
  EXPECT_EQ(k.one(ref.block(), ref.step, res.block(), res.step, nullptr, dst.step, 0, 0),
            ippStsNullPtrErr);
  EXPECT_EQ(k.two(ref.block(), ref.step, 0, nullptr, ref.step, 0, res.block(), res.step,
                  dst.block(), dst.step, 0),
            ippStsNullPtrErr);
  EXPECT_EQ(k.two(nullptr, ref.step, 0, ref.block(), ref.step, 0, res.block(), res.step,
                  dst.block(), dst.step, 0),
            ippStsNullPtrErr);
  EXPECT_TRUE(
      std::all_of(dst.canvas.begin(), dst.canvas.end(), [](Ipp8u b) { return b == kGuard; }));
}

INSTANTIATE_TEST_SUITE_P(Sizes, MotionCompensation, testing::ValuesIn(kKernels),
                         [](const auto& info) {
                           return std::to_string(info.param.width) + "x" +
                                  std::to_string(info.param.height);
                         });

// Worked values: half-sample rounding and the clamp at both ends.
TEST(MotionCompensationValues, RoundingAndSaturation) {
  // Both half-sample directions read one row and one column beyond the block.
  const Ipp8u ref[3 * 5] = {1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 9, 9, 9, 9, 9};
  const Ipp16s zero[4 * 2] = {};
  Ipp8u out[4 * 2];
  ASSERT_EQ(ippiMC4x2_8u_C1(ref, 5, zero, 8, out, 4, 12, 0), ippStsNoErr);
  EXPECT_EQ(out[0], 2);  // (1 + 1 + 2 + 2 + 2) >> 2
  ASSERT_EQ(ippiMC4x2_8u_C1(ref, 5, zero, 8, out, 4, 12, 1), ippStsNoErr);
  EXPECT_EQ(out[0], 1);  // (6 + 1) >> 2
  const Ipp8u pair[2 * 5] = {3, 4, 3, 4, 3, 3, 4, 3, 4, 3};
  ASSERT_EQ(ippiMC4x2_8u_C1(pair, 5, zero, 8, out, 4, 8, 0), ippStsNoErr);
  EXPECT_EQ(out[0], 4);
  ASSERT_EQ(ippiMC4x2_8u_C1(pair, 5, zero, 8, out, 4, 8, 1), ippStsNoErr);
  EXPECT_EQ(out[0], 3);

  const Ipp8u flat250[2 * 4] = {250, 250, 250, 250, 3, 3, 3, 3};
  const Ipp16s residual[4 * 2] = {10, 10, 10, 10, -10, -10, -10, -10};
  ASSERT_EQ(ippiMC4x2_8u_C1(flat250, 4, residual, 8, out, 4, 0, 0), ippStsNoErr);
  EXPECT_EQ(out[0], 255);
  EXPECT_EQ(out[4], 0);

  const Ipp8u tens[8] = {10, 10, 10, 10, 10, 10, 10, 10};
  const Ipp8u elevens[8] = {11, 11, 11, 11, 11, 11, 11, 11};
  ASSERT_EQ(ippiMC4x2B_8u_C1(tens, 4, 0, elevens, 4, 0, zero, 8, out, 4, 0), ippStsNoErr);
  EXPECT_EQ(out[0], 11);
}

TEST(Copy2d, CopiesRowsAtTheirStepsAndNothingElse) {
  std::mt19937 random(99);
  for (const auto& [width, height, srcStep, dstStep] :
       {std::tuple{16, 16, 16, 16}, std::tuple{7, 5, 9, 13}, std::tuple{1, 1, 1, 1},
        std::tuple{33, 3, 33, 40}, std::tuple{16, 16, 40, 24}, std::tuple{16, 8, 16, 32},
        std::tuple{8, 8, 19, 8}, std::tuple{8, 4, 12, 30}, std::tuple{4, 8, 5, 7},
        std::tuple{4, 2, 64, 4}}) {
    std::vector<Ipp8u> src(size_t(srcStep * height + 3));
    for (Ipp8u& b : src) b = Ipp8u(random());
    std::vector<Ipp8u> dst(size_t(dstStep * height + 5), kGuard);
    ASSERT_EQ(
        ippiCopy_8u_C1R(src.data() + 3, srcStep, dst.data() + 1, dstStep, IppiSize{width, height}),
        ippStsNoErr);
    for (int i = 0; i < int(dst.size()); ++i) {
      const int x = (i - 1) % dstStep, y = (i - 1) / dstStep;
      if (i >= 1 && x < width && y < height) {
        ASSERT_EQ(dst[i], src[size_t(3 + y * srcStep + x)]);
      } else {
        ASSERT_EQ(dst[i], kGuard) << width << "x" << height << " byte " << i;
      }
    }
  }
}

TEST(Copy2d, RejectsBadArgumentsWithoutWriting) {
  Ipp8u src[64] = {1}, dst[64];
  std::fill(dst, dst + 64, kGuard);
  EXPECT_EQ(ippiCopy_8u_C1R(src, 8, dst, 8, IppiSize{0, 8}), ippStsSizeErr);
  EXPECT_EQ(ippiCopy_8u_C1R(src, 8, dst, 8, IppiSize{8, -1}), ippStsSizeErr);
  EXPECT_EQ(ippiCopy_8u_C1R(src, 0, dst, 8, IppiSize{8, 8}), ippStsStepErr);
  EXPECT_EQ(ippiCopy_8u_C1R(src, 8, dst, -8, IppiSize{8, 8}), ippStsStepErr);
  EXPECT_EQ(ippiCopy_8u_C1R(nullptr, 8, dst, 8, IppiSize{8, 8}), ippStsNullPtrErr);
  EXPECT_EQ(ippiCopy_8u_C1R(src, 8, nullptr, 8, IppiSize{8, 8}), ippStsNullPtrErr);
  EXPECT_TRUE(std::all_of(dst, dst + 64, [](Ipp8u b) { return b == kGuard; }));
}

TEST(Copy1d, CopiesExactlyLengthBytes) {
  const char text[] = "frame-accurate";
  Ipp8u dst[20];
  std::fill(dst, dst + 20, kGuard);
  const auto* src = reinterpret_cast<const Ipp8u*>(text);
  ASSERT_EQ(ippsCopy_8u(src, dst + 1, 5), ippStsNoErr);
  EXPECT_EQ(std::memcmp(dst + 1, text, 5), 0);
  EXPECT_EQ(dst[0], kGuard);
  EXPECT_EQ(dst[6], kGuard);
  EXPECT_EQ(ippsCopy_8u(src, dst, 0), ippStsSizeErr);
  EXPECT_EQ(ippsCopy_8u(nullptr, dst, 4), ippStsNullPtrErr);
  EXPECT_EQ(ippsCopy_8u(src, nullptr, 4), ippStsNullPtrErr);
  EXPECT_EQ(dst[0], kGuard);
}

}  // namespace
}  // namespace quarlin::test
