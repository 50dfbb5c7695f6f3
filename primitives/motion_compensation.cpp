// Half-sample motion compensation (ISO/IEC 13818-2 7.6.4 and 7.6.7): form the
// prediction of a W x H block from one or two references, add the 16-bit
// residual and saturate to 8 bits.
//
// Each call picks its half-sample kind (and rounding) once, from a table of
// kernels (one direction) or with a switch (two directions); every (size,
// kind, rounding) is its own instantiation with compile-time bounds and no
// branch inside the sample loops. The loops are shaped for the compiler's
// own vectoriser: rows 16 wide are one loop each; narrower blocks form each
// row of 4 or 8 predicted samples in one integer, then one flat loop over
// all W x H samples adds the residual (two directions: a flat loop averages
// the two predictions first).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "primitives/generic_primitives.h"

namespace quarlin::generic {
namespace {

enum HalfSample : int { kFull = 0, kHorizontal = 1, kVertical = 2, kBoth = 3 };

// ---- Rows 16 samples wide: one loop per row, which the compiler
// vectorises (the row is formed in a local array, which no reference
// pointer can alias, and then stored).

// One row of the prediction for one kind; rc is 0 (round half-sample
// averages up) or 1 (down).
template <int W, int kKind, int kRc>
inline void predictWideRow(const Ipp8u* a, ptrdiff_t step, Ipp8u* out) {
  const Ipp8u* b = a + step;
  Ipp8u row[W];
  for (int x = 0; x < W; ++x) {
    if constexpr (kKind == kFull) {
      row[x] = a[x];
    } else if constexpr (kKind == kHorizontal) {
      row[x] = static_cast<Ipp8u>((a[x] + a[x + 1] + 1 - kRc) >> 1);
    } else if constexpr (kKind == kVertical) {
      row[x] = static_cast<Ipp8u>((a[x] + b[x] + 1 - kRc) >> 1);
    } else if constexpr (kRc == 0) {
      // (a + a' + b + b' + 2) >> 2 from the two rounded-up averages of the
      // pairs, which vectorise as byte averages: with s = a + a' = 2 top -
      // (a ^ a') & 1 and t likewise, (s + t + 2) >> 2 is the average of top
      // and bottom rounded up, less 1 exactly when a pair sum is odd and
      // top + bottom is odd (checked for all 2^32 sample values).
      const int top = (a[x] + a[x + 1] + 1) >> 1, bottom = (b[x] + b[x + 1] + 1) >> 1;
      const int odd = (a[x] ^ a[x + 1]) | (b[x] ^ b[x + 1]);
      row[x] = static_cast<Ipp8u>(((top + bottom + 1) >> 1) - (odd & (top ^ bottom) & 1));
    } else {
      row[x] = static_cast<Ipp8u>((a[x] + a[x + 1] + b[x] + b[x + 1] + 2 - kRc) >> 2);
    }
  }
  std::memcpy(out, row, W);
}

// ---- Rows of 4 or 8 samples: all samples of a row in one integer.

// Packed bytes: uint64_t for 8 samples, uint32_t for 4.
template <int W>
using Packed = std::conditional_t<(W >= 8), uint64_t, uint32_t>;

template <typename T>
constexpr T everyByte(uint8_t b) {
  return static_cast<T>(static_cast<T>(~T{0}) / 0xFF * b);
}

template <typename T>
inline T loadPacked(const Ipp8u* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Per byte: (a + b + 1 - rc) >> 1, exactly. a + b = 2 (a & b) + (a ^ b) and
// a + b + 1 = 2 (a | b) - (a ^ b); halving the xor per byte after clearing
// each byte's low bit keeps the bytes apart.
template <int kRc, typename T>
inline T averagePacked(T a, T b) {
  const T halfDiff = ((a ^ b) & everyByte<T>(0xFE)) >> 1;
  if constexpr (kRc == 0) {
    return (a | b) - halfDiff;
  } else {
    return (a & b) + halfDiff;
  }
}

// Per byte: (a + b + c + d + 2 - rc) >> 2, exactly: the top six bits of the
// four samples are summed apart from the low two bits (at most 4 * 3 + 2 =
// 14, no carry between bytes), whose sum's carry into bit 2 is added back.
template <int kRc, typename T>
inline T average4Packed(T a, T b, T c, T d) {
  const T low2 = everyByte<T>(0x03);
  const T high6 = everyByte<T>(0x3F);
  const T low = (a & low2) + (b & low2) + (c & low2) + (d & low2) + everyByte<T>(2 - kRc);
  const T high = ((a >> 2) & high6) + ((b >> 2) & high6) + ((c >> 2) & high6) + ((d >> 2) & high6);
  return high + ((low >> 2) & low2);
}

template <int W, int kKind, int kRc>
inline void predictPackedRow(const Ipp8u* a, ptrdiff_t step, Ipp8u* out) {
  using T = Packed<W>;
  constexpr int kChunk = static_cast<int>(sizeof(T));
  const Ipp8u* b = a + step;
  for (int x = 0; x < W; x += kChunk) {
    T v;
    if constexpr (kKind == kFull) {
      v = loadPacked<T>(a + x);
    } else if constexpr (kKind == kHorizontal) {
      v = averagePacked<kRc>(loadPacked<T>(a + x), loadPacked<T>(a + x + 1));
    } else if constexpr (kKind == kVertical) {
      v = averagePacked<kRc>(loadPacked<T>(a + x), loadPacked<T>(b + x));
    } else {
      v = average4Packed<kRc>(loadPacked<T>(a + x), loadPacked<T>(a + x + 1), loadPacked<T>(b + x),
                              loadPacked<T>(b + x + 1));
    }
    std::memcpy(out + x, &v, sizeof v);
  }
}

// The W x H prediction into p (row y at p + y * W). Reads W + 1 columns only
// with horizontal half samples and H + 1 rows only with vertical ones.
template <int W, int H, int kKind, int kRc>
inline void predictBlock(const Ipp8u* ref, ptrdiff_t step, Ipp8u* p) {
  for (int y = 0; y < H; ++y) {
    if constexpr (W >= 16) {
      predictWideRow<W, kKind, kRc>(ref + y * step, step, p + y * W);
    } else {
      predictPackedRow<W, kKind, kRc>(ref + y * step, step, p + y * W);
    }
  }
}

template <int W, int H, int kRc>
void predictAnyKind(const Ipp8u* ref, ptrdiff_t step, Ipp32s mcType, Ipp8u* p) {
  switch (mcHalfSampleKind(mcType)) {
    case kFull:
      return predictBlock<W, H, kFull, kRc>(ref, step, p);
    case kHorizontal:
      return predictBlock<W, H, kHorizontal, kRc>(ref, step, p);
    case kVertical:
      return predictBlock<W, H, kVertical, kRc>(ref, step, p);
    default:
      return predictBlock<W, H, kBoth, kRc>(ref, step, p);
  }
}

// ---- Residual and output.

// The residual rows gathered into one contiguous W x H block. The residual
// is addressed in bytes: its step need not be a multiple of 2.
template <int W, int H>
inline void gatherResidual(const Ipp8u* residual, ptrdiff_t stepBytes, Ipp16s* r) {
  for (int y = 0; y < H; ++y) {
    std::memcpy(r + y * W, residual + y * stepBytes, W * sizeof(Ipp16s));
  }
}

template <int W, int H>
inline void scatterRows(const Ipp8u* block, Ipp8u* dst, ptrdiff_t dstStep) {
  for (int y = 0; y < H; ++y) std::memcpy(dst + y * dstStep, block + y * W, W);
}

// prediction (0..255) + residual (-32768..32767) saturated to a sample. The
// residual is first bounded to +-255, which changes no result (a prediction
// plus 255 is at least 255, minus 255 at most 0) and keeps every sum within
// 16 bits, so the loop runs on 16-bit lanes.
inline Ipp8u addResidual(int prediction, int residual) {
  const int bounded = residual < -255 ? -255 : (residual > 255 ? 255 : residual);
  const int v = prediction + bounded;
  return static_cast<Ipp8u>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

template <int W, int H>
inline void finishOne(const Ipp8u* p, const Ipp8u* residual, ptrdiff_t resStep, Ipp8u* dst,
                      ptrdiff_t dstStep) {
  alignas(16) Ipp16s r[W * H];
  alignas(16) Ipp8u out[W * H];
  gatherResidual<W, H>(residual, resStep, r);
  for (int i = 0; i < W * H; ++i) out[i] = addResidual(p[i], r[i]);
  scatterRows<W, H>(out, dst, dstStep);
}

// The two predictions averaged (rounding up, whatever the rounding control)
// before the residual is added.
template <int W, int H>
void finishTwo(const Ipp8u* pF, const Ipp8u* pB, const Ipp8u* residual, ptrdiff_t resStep,
               Ipp8u* dst, ptrdiff_t dstStep) {
  alignas(16) Ipp16s r[W * H];
  alignas(16) Ipp8u out[W * H];
  gatherResidual<W, H>(residual, resStep, r);
  for (int i = 0; i < W * H; ++i) {
    out[i] = addResidual((pF[i] + pB[i] + 1) >> 1, r[i]);
  }
  scatterRows<W, H>(out, dst, dstStep);
}

// One direction: prediction and residual in one kernel per kind; rows 16
// wide are finished one at a time.
template <int W, int H, int kKind, int kRc>
void mcOneKind(const Ipp8u* ref, ptrdiff_t refStep, const Ipp16s* residualSamples, ptrdiff_t resStep,
               Ipp8u* dst, ptrdiff_t dstStep) {
  const auto* residual = reinterpret_cast<const Ipp8u*>(residualSamples);
  if constexpr (W >= 16) {
    for (int y = 0; y < H; ++y) {
      Ipp8u p[W];
      predictWideRow<W, kKind, kRc>(ref + y * refStep, refStep, p);
      finishOne<W, 1>(p, residual + y * resStep, resStep, dst + y * dstStep, dstStep);
    }
  } else {
    alignas(16) Ipp8u p[W * H];
    predictBlock<W, H, kKind, kRc>(ref, refStep, p);
    finishOne<W, H>(p, residual, resStep, dst, dstStep);
  }
}

template <int W, int H>
constexpr McKernels kKernels = mcKernelsOf([]<int kKind, int kRc>() -> McKernelFn* {
  return &mcOneKind<W, H, kKind, kRc>;
});

template <int W, int H, int kRc>
void mcTwo(const Ipp8u* refF, ptrdiff_t stepF, Ipp32s mcTypeF, const Ipp8u* refB, ptrdiff_t stepB,
           Ipp32s mcTypeB, const Ipp8u* residual, ptrdiff_t resStep, Ipp8u* dst,
           ptrdiff_t dstStep) {
  alignas(16) Ipp8u pF[W * H];
  alignas(16) Ipp8u pB[W * H];
  predictAnyKind<W, H, kRc>(refF, stepF, mcTypeF, pF);
  predictAnyKind<W, H, kRc>(refB, stepB, mcTypeB, pB);
  finishTwo<W, H>(pF, pB, residual, resStep, dst, dstStep);
}

// Rounding control 0 rounds half-sample averages up, 1 (any non-zero) down.
template <int W, int H>
IppStatus mcTwoDirections(const Ipp8u* refF, Ipp32s stepF, Ipp32s mcTypeF, const Ipp8u* refB,
                          Ipp32s stepB, Ipp32s mcTypeB, const Ipp16s* residual, Ipp32s resStep,
                          Ipp8u* dst, Ipp32s dstStep, Ipp32s roundControl) {
  if (refF == nullptr || refB == nullptr || residual == nullptr || dst == nullptr) {
    return ippStsNullPtrErr;
  }
  const auto* res = reinterpret_cast<const Ipp8u*>(residual);
  if (roundControl == 0) {
    mcTwo<W, H, 0>(refF, stepF, mcTypeF, refB, stepB, mcTypeB, res, resStep, dst, dstStep);
  } else {
    mcTwo<W, H, 1>(refF, stepF, mcTypeF, refB, stepB, mcTypeB, res, resStep, dst, dstStep);
  }
  return ippStsNoErr;
}

}  // namespace

#define QUARLIN_MC_SIZE(W, H)                                                                     \
  const McKernels mc##W##x##H##Kernels = kKernels<W, H>;                                          \
  IppStatus mc##W##x##H(const Ipp8u* pSrcRef, Ipp32s srcStep, const Ipp16s* pSrcYData,            \
                        Ipp32s srcYDataStep, Ipp8u* pDst, Ipp32s dstStep, Ipp32s mcType,          \
                        Ipp32s roundControl) {                                                    \
    return mcOneDirection(mc##W##x##H##Kernels, pSrcRef, srcStep, pSrcYData, srcYDataStep, pDst,  \
                          dstStep, mcType, roundControl);                                         \
  }                                                                                               \
  IppStatus mc##W##x##H##B(const Ipp8u* pSrcRefF, Ipp32s srcStepF, Ipp32s mcTypeF,                \
                           const Ipp8u* pSrcRefB, Ipp32s srcStepB, Ipp32s mcTypeB,                \
                           const Ipp16s* pSrcYData, Ipp32s srcYDataStep, Ipp8u* pDst,             \
                           Ipp32s dstStep, Ipp32s roundControl) {                                 \
    return mcTwoDirections<W, H>(pSrcRefF, srcStepF, mcTypeF, pSrcRefB, srcStepB, mcTypeB,        \
                                 pSrcYData, srcYDataStep, pDst, dstStep, roundControl);           \
  }

QUARLIN_MC_SIZE(16, 16)
QUARLIN_MC_SIZE(16, 8)
QUARLIN_MC_SIZE(8, 16)
QUARLIN_MC_SIZE(8, 8)
QUARLIN_MC_SIZE(8, 4)
QUARLIN_MC_SIZE(4, 8)
QUARLIN_MC_SIZE(4, 4)
QUARLIN_MC_SIZE(4, 2)

#undef QUARLIN_MC_SIZE

}  // namespace quarlin::generic
