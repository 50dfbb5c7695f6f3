// The fixed-point arithmetic of the 8x8 inverse DCT (ISO/IEC 13818-2 Annex
// A), accurate to IEEE Std 1180-1990. It defines the exact output bits of
// every implementation of the transform: the generic one and any vector tier
// must give the same results.
//
// Separable: a row pass then a column pass, each the even/odd butterfly of the
// 8-point transform with 16-bit constants cos(k*pi/16) * 2^15. Every product
// and sum is taken modulo 2^32 (so any order of additions gives the same bits,
// as 32-bit vector lanes do), each pass ends with a rounding right shift, and
// the row results are saturated to 16 bits with kPassBits fractional bits:
// 16-bit data between the passes, 16x16-bit products summed in 32 bits.
//
// Ranges: a row result is the row's 1-D transform scaled by 2^kPassBits and
// stays within 16 bits while that transform stays within +-2047. For the
// coefficients of an 8-bit picture or residual block it is at most
// 255 * sqrt(8) = 722, leaving room for coarse quantisation; beyond it the
// results saturate. Four fractional bits keep the IEEE 1180 errors at about
// half their limits (overall mean square error 0.009 against 0.02).
//
// Because the sums are modulo 2^32, leaving out a product whose input is zero
// changes no bit: butterfly8<kTerms> drops the inputs from kTerms on, which
// lets the transforms skip the work for sparse blocks with identical results.
#pragma once
#include <cstdint>

#include "primitives/idct_constants.h"
#include "primitives/primitives.h"

namespace quarlin::generic::idct {

// kConstantBits, kPassBits, kRowShift, kColumnShift and kC1..kC7.
using namespace quarlin::idct;

// A 16 x 16-bit product (|product| < 2^30), taken into modulo-2^32 sums.
inline uint32_t mul(Ipp16s x, int32_t c) { return static_cast<uint32_t>(int32_t{x} * c); }

inline int32_t roundShift(uint32_t sum, int shift) {
  return static_cast<int32_t>(sum + (1u << (shift - 1))) >> shift;
}

inline Ipp16s saturate16(int32_t v) {
  return static_cast<Ipp16s>(v < INT16_MIN ? INT16_MIN : (v > INT16_MAX ? INT16_MAX : v));
}

// A column result needs no saturation: any 32-bit sum shifted right by
// kColumnShift (20) lies within [-2048, 2047]. Row results saturate.
template <int kShift>
inline Ipp16s narrow(int32_t v) {
  if constexpr (kShift >= 16) {
    return static_cast<Ipp16s>(v);
  } else {
    return saturate16(v);
  }
}

// The output of a 1-D transform whose only non-zero input is x0: all eight
// outputs equal.
template <int kShift>
inline Ipp16s transformDc(Ipp16s x0) {
  return narrow<kShift>(roundShift(mul(x0, kC4), kShift));
}

// The eight sums of one 8-point inverse transform before rounding: inputs
// x[k] for k below kTerms (0, 1, 2, 4 or 8) and, with kLast, x[7]; the
// others are known to be zero and not read. The even part uses x0, x2, x4,
// x6 and the odd part x1, x3, x5, x7; sum n is even + odd and sum 7 - n
// even - odd.
template <int kTerms, bool kLast = false>
inline void butterfly8(const Ipp16s (&x)[8], uint32_t (&sum)[8]) {
  static_assert(kTerms == 0 || kTerms == 1 || kTerms == 2 || kTerms == 4 || kTerms == 8);
  auto in = [&](int k) -> Ipp16s { return k < kTerms || (kLast && k == 7) ? x[k] : Ipp16s{0}; };
  const Ipp16s x0 = in(0), x1 = in(1), x2 = in(2), x3 = in(3), x4 = in(4), x5 = in(5), x6 = in(6),
               x7 = in(7);

  const uint32_t a0 = mul(x0, kC4) + mul(x4, kC4);
  const uint32_t a1 = mul(x0, kC4) - mul(x4, kC4);
  const uint32_t b0 = mul(x2, kC2) + mul(x6, kC6);
  const uint32_t b1 = mul(x2, kC6) - mul(x6, kC2);
  const uint32_t even[4] = {a0 + b0, a1 + b1, a1 - b1, a0 - b0};
  const uint32_t odd[4] = {
      mul(x1, kC1) + mul(x3, kC3) + mul(x5, kC5) + mul(x7, kC7),
      mul(x1, kC3) - mul(x3, kC7) - mul(x5, kC1) - mul(x7, kC5),
      mul(x1, kC5) - mul(x3, kC1) + mul(x5, kC7) + mul(x7, kC3),
      mul(x1, kC7) - mul(x3, kC5) + mul(x5, kC3) - mul(x7, kC1),
  };
  for (int n = 0; n < 4; ++n) {
    sum[n] = even[n] + odd[n];
    sum[7 - n] = even[n] - odd[n];
  }
}

// One 8-point inverse transform of a row (kShift kRowShift) or a column
// (kColumnShift): in[k * inStride] -> out[n * outStride], with the inputs of
// butterfly8<kTerms, kLast>.
template <int kTerms, int kShift, bool kLast = false>
inline void transform8(const Ipp16s* in, int inStride, Ipp16s* out, int outStride) {
  Ipp16s x[8] = {};
  for (int k = 0; k < 8; ++k) {
    if (k < kTerms || (kLast && k == 7)) x[k] = in[k * inStride];
  }
  uint32_t sum[8];
  butterfly8<kTerms, kLast>(x, sum);
  for (int n = 0; n < 8; ++n) out[n * outStride] = narrow<kShift>(roundShift(sum[n], kShift));
}

// The whole 2-D transform without any shortcut, saturating both passes: the
// definition the faster paths are checked against. out may be src.
inline void fullTransform(const Ipp16s* src, Ipp16s* out) {
  Ipp16s rows[64];
  for (int pass = 0; pass < 2; ++pass) {
    const Ipp16s* in = pass == 0 ? src : rows;
    Ipp16s* result = pass == 0 ? rows : out;
    const int shift = pass == 0 ? kRowShift : kColumnShift;
    const int step = pass == 0 ? 1 : 8;  // along a row / down a column
    const int next = pass == 0 ? 8 : 1;  // to the next row / column
    for (int line = 0; line < 8; ++line) {
      Ipp16s x[8];
      for (int k = 0; k < 8; ++k) x[k] = in[line * next + k * step];
      uint32_t sum[8];
      butterfly8<8>(x, sum);
      for (int n = 0; n < 8; ++n)
        result[line * next + n * step] = saturate16(roundShift(sum[n], shift));
    }
  }
}

}  // namespace quarlin::generic::idct
