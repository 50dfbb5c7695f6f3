// Half-sample motion compensation with AVX2 (ISO/IEC 13818-2 7.6.4 and
// 7.6.7) for the kernels where it is faster than SSE2: 16 x 16 blocks from
// one direction and from two, each row's 16 residuals in one 256-bit
// register, added to the row's prediction widened to 16 bits, two rows
// packed back to bytes at a time; blocks 8 wide (8 x 16, 8 x 8, 8 x 4) from
// one direction, two rows to a register, four packed at a time.
// With vertical half samples, what each reference row gives to the rows
// above and below it is computed once. Loads and stores are unaligned and
// read no sample beyond the 17 x 17 the half-sample kind needs.
#include <immintrin.h>

#include <cstddef>

#include "primitives/vector_primitives.h"

namespace quarlin::avx2 {
namespace {

inline __m128i loadRow(const Ipp8u* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// kKind bit 0 is half samples horizontally, bit 1 vertically. Rounding
// down is the complement of rounding up on complemented samples.
template <int kRc>
inline __m128i flip(__m128i v) {
  return kRc ? _mm_xor_si128(v, _mm_set1_epi8(-1)) : v;
}

// A row of the prediction without vertical half samples: per byte a, or
// (a + a' + 1 - rc) >> 1.
template <int kKind, int kRc>
inline __m128i predictRow(const Ipp8u* a) {
  if constexpr (kKind == 0) return loadRow(a);
  return flip<kRc>(_mm_avg_epu8(flip<kRc>(loadRow(a)), flip<kRc>(loadRow(a + 1))));
}

// What one reference row gives to the rows of the prediction above and
// below it, computed once: the (complemented) row for vertical half samples;
// for both, its rounded-up pair mean m = (a + a' + 1) >> 1 and whether the
// pair sum is odd (a ^ a', bit 0).
struct RowTerms {
  __m128i mean, odd;
};

template <int kKind, int kRc>
inline RowTerms termsOf(const Ipp8u* a) {
  const __m128i x = flip<kRc>(loadRow(a));
  if constexpr (kKind == 2) return {x, x};
  const __m128i y = flip<kRc>(loadRow(a + 1));
  return {_mm_avg_epu8(x, y), _mm_xor_si128(x, y)};
}

// Vertical: (t + u + 1) >> 1. Both: (a + a' + b + b' + 2) >> 2 is the
// rounded-up mean of the pair means, less 1 exactly when a pair sum is odd
// and the pair means differ in their low bit.
template <int kKind, int kRc>
inline __m128i combine(RowTerms t, RowTerms u) {
  __m128i m = _mm_avg_epu8(t.mean, u.mean);
  if constexpr (kKind == 3) {
    const __m128i tooHigh = _mm_and_si128(_mm_or_si128(t.odd, u.odd), _mm_xor_si128(t.mean, u.mean));
    m = _mm_sub_epi8(m, _mm_and_si128(tooHigh, _mm_set1_epi8(1)));
  }
  return flip<kRc>(m);
}

// emit(y, row y, row y + 1) for every other row y of the prediction.
template <int H, int kKind, int kRc, typename Emit>
inline void predictRows(const Ipp8u* ref, ptrdiff_t step, Emit emit) {
  if constexpr (kKind < 2) {
    for (int y = 0; y < H; y += 2) {
      emit(y, predictRow<kKind, kRc>(ref + y * step), predictRow<kKind, kRc>(ref + (y + 1) * step));
    }
  } else {
    RowTerms top = termsOf<kKind, kRc>(ref);
    for (int y = 0; y < H; y += 2) {
      const RowTerms middle = termsOf<kKind, kRc>(ref + (y + 1) * step);
      const RowTerms bottom = termsOf<kKind, kRc>(ref + (y + 2) * step);
      emit(y, combine<kKind, kRc>(top, middle), combine<kKind, kRc>(middle, bottom));
      top = bottom;
    }
  }
}

// Two rows of prediction + residual, saturated to 16 bits and then to
// 0..255: each row widened into one register, the two packed together (by
// 64-bit lanes, reordered after).
inline void addAndStore(__m128i upper, __m128i lower, const Ipp8u* residual,
                        ptrdiff_t residualStep, Ipp8u* dst, ptrdiff_t dstStep) {
  const __m256i sum0 = _mm256_adds_epi16(
      _mm256_cvtepu8_epi16(upper), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(residual)));
  const __m256i sum1 = _mm256_adds_epi16(
      _mm256_cvtepu8_epi16(lower),
      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(residual + residualStep)));
  const __m256i out = _mm256_permute4x64_epi64(_mm256_packus_epi16(sum0, sum1), 0xD8);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm256_castsi256_si128(out));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + dstStep), _mm256_extracti128_si256(out, 1));
}

// Byte pointers and steps of the residual and the destination (the
// residual's step need not be even).
struct Output {
  const Ipp8u* residual;
  ptrdiff_t residualStep;
  Ipp8u* dst;
  ptrdiff_t dstStep;
};

template <int kKind, int kRc>
void predictAndAdd(const Ipp8u* ref, ptrdiff_t step, const Ipp16s* residual, ptrdiff_t residualStep,
                   Ipp8u* dst, ptrdiff_t dstStep) {
  const Output o{reinterpret_cast<const Ipp8u*>(residual), residualStep, dst, dstStep};
  predictRows<16, kKind, kRc>(ref, step, [&o](int y, __m128i upper, __m128i lower) {
    addAndStore(upper, lower, o.residual + y * o.residualStep, o.residualStep,
                o.dst + y * o.dstStep, o.dstStep);
  });
}

// ---- Blocks 8 wide: two rows in one 128-bit register, four rows of
// residual sums in two 256-bit ones, packed back to bytes together.

// Rows y and y + 1 of 8 samples, side by side.
inline __m128i loadPair(const Ipp8u* p, ptrdiff_t step) {
  return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + step)));
}

// The prediction of two rows; the terms of each row pair as for 16 wide.
template <int kKind, int kRc>
inline __m128i predictPair(const Ipp8u* a, ptrdiff_t step) {
  const __m128i top = loadPair(a, step);
  if constexpr (kKind == 0) return top;
  const __m128i x = flip<kRc>(top);
  if constexpr (kKind == 1) return flip<kRc>(_mm_avg_epu8(x, flip<kRc>(loadPair(a + 1, step))));
  const __m128i u = flip<kRc>(loadPair(a + step, step));
  if constexpr (kKind == 2) return flip<kRc>(_mm_avg_epu8(x, u));
  const __m128i y = flip<kRc>(loadPair(a + 1, step)), v = flip<kRc>(loadPair(a + step + 1, step));
  return combine<3, kRc>(RowTerms{_mm_avg_epu8(x, y), _mm_xor_si128(x, y)},
                         RowTerms{_mm_avg_epu8(u, v), _mm_xor_si128(u, v)});
}

// Two rows of 8 residuals (16 bytes each), one per 128-bit lane.
inline __m256i loadResidualPair(const Ipp8u* r, ptrdiff_t step) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r))),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + step)), 1);
}

// H rows (a multiple of 4) of 8 samples. The pack leaves rows y and y + 2
// in the low lane and rows y + 1 and y + 3 in the high one.
template <int H, int kKind, int kRc>
void predictAndAdd8(const Ipp8u* ref, ptrdiff_t step, const Ipp16s* residual, ptrdiff_t residualStep,
                    Ipp8u* dst, ptrdiff_t dstStep) {
  const auto* res = reinterpret_cast<const Ipp8u*>(residual);
  for (int y = 0; y < H; y += 4) {
    const __m256i upper = _mm256_adds_epi16(_mm256_cvtepu8_epi16(predictPair<kKind, kRc>(ref + y * step, step)),
                                            loadResidualPair(res + y * residualStep, residualStep));
    const __m256i lower =
        _mm256_adds_epi16(_mm256_cvtepu8_epi16(predictPair<kKind, kRc>(ref + (y + 2) * step, step)),
                          loadResidualPair(res + (y + 2) * residualStep, residualStep));
    const __m256i packed = _mm256_packus_epi16(upper, lower);
    const __m128i even = _mm256_castsi256_si128(packed), odd = _mm256_extracti128_si256(packed, 1);
    Ipp8u* d = dst + y * dstStep;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d), even);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d + dstStep), odd);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 2 * dstStep), _mm_unpackhi_epi64(even, even));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 3 * dstStep), _mm_unpackhi_epi64(odd, odd));
  }
}

// Two directions: the forward prediction is kept by row, then each pair of
// backward rows is averaged with it (rounding up, whatever the rounding
// control of each prediction) before the residual is added.
template <int kKind, int kRc>
void predictOnly(const Ipp8u* ref, ptrdiff_t step, __m128i* rows) {
  predictRows<16, kKind, kRc>(ref, step, [rows](int y, __m128i upper, __m128i lower) {
    rows[y] = upper;
    rows[y + 1] = lower;
  });
}

template <int kKind, int kRc>
void averageAndAdd(const Ipp8u* ref, ptrdiff_t step, const __m128i* forward, const Output& out) {
  const Output o = out;
  predictRows<16, kKind, kRc>(ref, step, [&o, forward](int y, __m128i upper, __m128i lower) {
    addAndStore(_mm_avg_epu8(forward[y], upper), _mm_avg_epu8(forward[y + 1], lower),
                o.residual + y * o.residualStep, o.residualStep, o.dst + y * o.dstStep, o.dstStep);
  });
}

using ForwardKernel = void(const Ipp8u*, ptrdiff_t, __m128i*);
using BackwardKernel = void(const Ipp8u*, ptrdiff_t, const __m128i*, const Output&);

// By rounding control (0 rounds up, 1 down) and half-sample kind.
constexpr ForwardKernel* kForward[2][4] = {
    {&predictOnly<0, 0>, &predictOnly<1, 0>, &predictOnly<2, 0>, &predictOnly<3, 0>},
    {&predictOnly<0, 1>, &predictOnly<1, 1>, &predictOnly<2, 1>, &predictOnly<3, 1>}};
constexpr BackwardKernel* kBackward[2][4] = {
    {&averageAndAdd<0, 0>, &averageAndAdd<1, 0>, &averageAndAdd<2, 0>, &averageAndAdd<3, 0>},
    {&averageAndAdd<0, 1>, &averageAndAdd<1, 1>, &averageAndAdd<2, 1>, &averageAndAdd<3, 1>}};

}  // namespace

const McKernels mc16x16Kernels = mcKernelsOf([]<int kKind, int kRc>() -> McKernelFn* {
  return &predictAndAdd<kKind, kRc>;
});

const McKernels mc8x16Kernels = mcKernelsOf([]<int kKind, int kRc>() -> McKernelFn* {
  return &predictAndAdd8<16, kKind, kRc>;
});
const McKernels mc8x8Kernels = mcKernelsOf([]<int kKind, int kRc>() -> McKernelFn* {
  return &predictAndAdd8<8, kKind, kRc>;
});
const McKernels mc8x4Kernels = mcKernelsOf([]<int kKind, int kRc>() -> McKernelFn* {
  return &predictAndAdd8<4, kKind, kRc>;
});

#define QUARLIN_AVX2_MC(W, H)                                                                       \
  IppStatus mc##W##x##H(const Ipp8u* a, Ipp32s b, const Ipp16s* c, Ipp32s d, Ipp8u* e, Ipp32s f, \
                        Ipp32s g, Ipp32s h) {                                                       \
    return mcOneDirection(mc##W##x##H##Kernels, a, b, c, d, e, f, g, h);                          \
  }
QUARLIN_AVX2_MC(16, 16)
QUARLIN_AVX2_MC(8, 16)
QUARLIN_AVX2_MC(8, 8)
QUARLIN_AVX2_MC(8, 4)
#undef QUARLIN_AVX2_MC

IppStatus mc16x16B(const Ipp8u* pSrcRefF, Ipp32s srcStepF, Ipp32s mcTypeF, const Ipp8u* pSrcRefB,
                   Ipp32s srcStepB, Ipp32s mcTypeB, const Ipp16s* pSrcYData, Ipp32s srcYDataStep,
                   Ipp8u* pDst, Ipp32s dstStep, Ipp32s roundControl) {
  if (!pSrcRefF || !pSrcRefB || !pSrcYData || !pDst) return ippStsNullPtrErr;
  const int rc = roundControl != 0;
  __m128i forward[16];
  kForward[rc][mcHalfSampleKind(mcTypeF)](pSrcRefF, srcStepF, forward);
  const Output out{reinterpret_cast<const Ipp8u*>(pSrcYData), srcYDataStep, pDst, dstStep};
  kBackward[rc][mcHalfSampleKind(mcTypeB)](pSrcRefB, srcStepB, forward, out);
  return ippStsNoErr;
}

}  // namespace quarlin::avx2
