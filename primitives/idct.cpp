// 8x8 inverse DCT in fixed point (ISO/IEC 13818-2 Annex A), accurate to
// IEEE Std 1180-1990.
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
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "primitives/generic_primitives.h"

namespace quarlin::generic {
namespace {

constexpr int kConstantBits = 15;
constexpr int kPassBits = 4;
// Each 1-D sum is 2^(kConstantBits + 1) times the transform value.
constexpr int kRowShift = kConstantBits + 1 - kPassBits;
constexpr int kColumnShift = kConstantBits + 1 + kPassBits;

// round(2^15 * cos(k * pi / 16)).
constexpr int32_t kC1 = 32138;
constexpr int32_t kC2 = 30274;
constexpr int32_t kC3 = 27246;
constexpr int32_t kC4 = 23170;
constexpr int32_t kC5 = 18205;
constexpr int32_t kC6 = 12540;
constexpr int32_t kC7 = 6393;

// A 16 x 16-bit product (|product| < 2^30), taken into modulo-2^32 sums.
inline uint32_t mul(Ipp16s x, int32_t c) { return static_cast<uint32_t>(int32_t{x} * c); }

inline int32_t roundShift(uint32_t sum, int shift) {
  return static_cast<int32_t>(sum + (1u << (shift - 1))) >> shift;
}

inline Ipp16s saturate16(int32_t v) {
  return static_cast<Ipp16s>(v < INT16_MIN ? INT16_MIN : (v > INT16_MAX ? INT16_MAX : v));
}

// One 8-point inverse transform: in[k * inStride] -> out[n * outStride]. The
// even part uses x0, x2, x4, x6 and the odd part x1, x3, x5, x7; output n is
// even + odd and output 7 - n even - odd.
inline void transform8(const Ipp16s* in, int inStride, Ipp16s* out, int outStride, int shift) {
  const Ipp16s x0 = in[0], x1 = in[inStride], x2 = in[2 * inStride], x3 = in[3 * inStride];
  const Ipp16s x4 = in[4 * inStride], x5 = in[5 * inStride], x6 = in[6 * inStride];
  const Ipp16s x7 = in[7 * inStride];

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
    out[n * outStride] = saturate16(roundShift(even[n] + odd[n], shift));
    out[(7 - n) * outStride] = saturate16(roundShift(even[n] - odd[n], shift));
  }
}

// True when elements 1..7 of the 8 values are zero.
inline bool onlyFirstNonZero(const Ipp16s* v) {
  uint64_t a, b;
  std::memcpy(&a, v, 8);
  std::memcpy(&b, v + 4, 8);
  return ((a >> 16) | b) == 0;
}

// A row whose AC terms are zero transforms to eight equal values: the same
// arithmetic as transform8 with x1..x7 = 0.
inline void rowPass(const Ipp16s* src, Ipp16s* rows) {
  for (int r = 0; r < 8; ++r) {
    const Ipp16s* in = src + 8 * r;
    Ipp16s* out = rows + 8 * r;
    if (onlyFirstNonZero(in)) {
      const Ipp16s dc = saturate16(roundShift(mul(in[0], kC4), kRowShift));
      for (int n = 0; n < 8; ++n) out[n] = dc;
    } else {
      transform8(in, 1, out, 1, kRowShift);
    }
  }
}

inline bool rowsBelowFirstAreZero(const Ipp16s* rows) {
  uint64_t any = 0;
  for (int i = 2; i < 16; ++i) {
    uint64_t chunk;
    std::memcpy(&chunk, rows + 4 * i, 8);
    any |= chunk;
  }
  return any == 0;
}

inline void columnPass(const Ipp16s* rows, Ipp16s* out) {
  if (rowsBelowFirstAreZero(rows)) {
    for (int c = 0; c < 8; ++c) {
      const Ipp16s v = saturate16(roundShift(mul(rows[c], kC4), kColumnShift));
      for (int n = 0; n < 8; ++n) out[8 * n + c] = v;
    }
    return;
  }
  for (int c = 0; c < 8; ++c) transform8(rows + c, 8, out + c, 8, kColumnShift);
}

// The transform into 64 16-bit values, raster order; src may alias nothing
// written here.
inline void inverseTransform(const Ipp16s* src, Ipp16s* out) {
  Ipp16s rows[64];
  rowPass(src, rows);
  columnPass(rows, out);
}

// Level shift and clamp of the 16-bit results into bytes. Wide is int64_t
// for arbitrary arguments; int32_t when they are small enough to be exact,
// which lets the loop run on 32-bit lanes.
template <typename Wide>
inline void shiftAndClamp(const Ipp16s* result, Ipp8u* dst, int dstStep, Wide shift, Wide low,
                          Wide high) {
  for (int r = 0; r < 8; ++r) {
    Ipp8u* row = dst + ptrdiff_t{r} * dstStep;
    for (int c = 0; c < 8; ++c) {
      Wide v = Wide{result[8 * r + c]} + shift;
      v = v < low ? low : v;
      v = v > high ? high : v;
      row[c] = static_cast<Ipp8u>(v);
    }
  }
}

bool smallArguments(int shift, int low, int high) {
  constexpr int kLimit = 1 << 20;
  return shift > -kLimit && shift < kLimit && low > -kLimit && low < kLimit && high > -kLimit &&
         high < kLimit;
}

}  // namespace

IppStatus idctToShort(const Ipp16s* pSrc, Ipp16s* pDst, int dstStep) {
  if (pSrc == nullptr || pDst == nullptr) return ippStsNullPtrErr;
  if (dstStep < 1) return ippStsStepErr;
  Ipp16s result[64];
  inverseTransform(pSrc, result);
  auto* row = reinterpret_cast<Ipp8u*>(pDst);
  for (int r = 0; r < 8; ++r) {
    std::memcpy(row + ptrdiff_t{r} * dstStep, result + 8 * r, 8 * sizeof(Ipp16s));
  }
  return ippStsNoErr;
}

IppStatus idctToByte(const Ipp16s* pSrc, Ipp8u* pDst, int dstStep, int addVal, int clipDown,
                     int clipUp) {
  if (pSrc == nullptr || pDst == nullptr) return ippStsNullPtrErr;
  if (dstStep < 1) return ippStsStepErr;
  Ipp16s result[64];
  inverseTransform(pSrc, result);
  if (smallArguments(addVal, clipDown, clipUp)) {
    shiftAndClamp<int32_t>(result, pDst, dstStep, addVal, clipDown, clipUp);
  } else {
    shiftAndClamp<int64_t>(result, pDst, dstStep, addVal, clipDown, clipUp);
  }
  return ippStsNoErr;
}

}  // namespace quarlin::generic
