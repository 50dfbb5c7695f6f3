// Half-sample motion compensation (ISO/IEC 13818-2 7.6.4 and 7.6.7) with
// SSE2. Sixteen predicted samples fill one vector: one row of a block 16
// wide, two rows 8 wide or up to four rows 4 wide. The prediction is formed
// with byte averages, widened to 16 bits, added to the residual with signed
// saturation and packed back with unsigned saturation, which is exactly the
// 16-bit saturating sum clamped to 0..255. Two-direction kernels average the
// two byte predictions first. Loads and stores are unaligned and read no
// sample beyond the W (+1) x H (+1) the half-sample kind needs.
#include <emmintrin.h>

#include <cstddef>
#include <cstring>

#include "primitives/vector_primitives.h"

namespace quarlin::sse2 {
namespace {

// Bit 3 (8) of the mc-type is half-sample horizontally, bit 2 (4) vertically.
enum HalfSample : int { kFull = 0, kHorizontal = 1, kVertical = 2, kBoth = 3 };

// The rows of a W x H block that one vector holds.
template <int W, int H>
constexpr int kGroupRows = 16 / W < H ? 16 / W : H;

inline __m128i load32(const Ipp8u* p) {
  int v;
  std::memcpy(&v, p, sizeof v);
  return _mm_cvtsi32_si128(v);
}

inline void store32(Ipp8u* p, __m128i v) {
  const int x = _mm_cvtsi128_si32(v);
  std::memcpy(p, &x, sizeof x);
}

inline __m128i load64(const Ipp8u* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }

inline __m128i load128(const Ipp8u* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// kRows rows of W bytes, `step` apart, side by side from the lowest byte.
template <int W, int kRows>
inline __m128i loadRows(const Ipp8u* p, ptrdiff_t step) {
  if constexpr (W == 16) {
    return load128(p);
  } else if constexpr (W == 8) {
    return _mm_unpacklo_epi64(load64(p), load64(p + step));
  } else if constexpr (kRows == 2) {
    return _mm_unpacklo_epi32(load32(p), load32(p + step));
  } else {
    return _mm_unpacklo_epi64(_mm_unpacklo_epi32(load32(p), load32(p + step)),
                              _mm_unpacklo_epi32(load32(p + 2 * step), load32(p + 3 * step)));
  }
}

template <int W, int kRows>
inline void storeRows(Ipp8u* p, ptrdiff_t step, __m128i v) {
  if constexpr (W == 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
  } else if constexpr (W == 8) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + step), _mm_srli_si128(v, 8));
  } else {
    store32(p, v);
    store32(p + step, _mm_srli_si128(v, 4));
    if constexpr (kRows == 4) {
      store32(p + 2 * step, _mm_srli_si128(v, 8));
      store32(p + 3 * step, _mm_srli_si128(v, 12));
    }
  }
}

// The residual of one vector of samples: samples 0..7 and 8..15 (4 x 2: 0..7 only).
struct Residual {
  __m128i low, high;
};

template <int W, int kRows>
inline Residual loadResidual(const Ipp8u* p, ptrdiff_t step) {
  if constexpr (W == 16) {
    return {load128(p), load128(p + 16)};
  } else if constexpr (W == 8) {
    return {load128(p), load128(p + step)};
  } else if constexpr (kRows == 2) {
    return {_mm_unpacklo_epi64(load64(p), load64(p + step)), _mm_setzero_si128()};
  } else {
    return {_mm_unpacklo_epi64(load64(p), load64(p + step)),
            _mm_unpacklo_epi64(load64(p + 2 * step), load64(p + 3 * step))};
  }
}

inline __m128i addResidual(__m128i prediction, Residual r) {
  const __m128i zero = _mm_setzero_si128();
  return _mm_packus_epi16(_mm_adds_epi16(_mm_unpacklo_epi8(prediction, zero), r.low),
                          _mm_adds_epi16(_mm_unpackhi_epi8(prediction, zero), r.high));
}

// Rounding down (rc 1) is the complement of rounding up on complemented
// samples: 255 - ((s + 1) >> 1) = ((510 - s) + 1 - 1) >> 1 for pair sums s,
// 255 - ((s + 1) >> 2) = ((1020 - s) + 2) >> 2 for sums of four.
template <int kRc>
inline __m128i flip(__m128i v) {
  return kRc ? _mm_xor_si128(v, _mm_set1_epi8(-1)) : v;
}

// Per byte (a + b + 1 - rc) >> 1.
template <int kRc>
inline __m128i average(__m128i a, __m128i b) {
  return flip<kRc>(_mm_avg_epu8(flip<kRc>(a), flip<kRc>(b)));
}

// What one row of reference samples gives to the prediction rows above and
// below it (complemented when rounding down): with vertical half samples
// only the row itself; with both, the rounded-up mean of each sample and its
// right neighbour and whether their sum is odd (bit 0 of a ^ a').
struct RowTerms {
  __m128i mean, odd;
};

template <int kKind, int kRc>
inline RowTerms terms(__m128i row, __m128i right) {
  const __m128i a = flip<kRc>(row);
  if constexpr (kKind == kVertical) return {a, a};
  const __m128i b = flip<kRc>(right);
  return {_mm_avg_epu8(a, b), _mm_xor_si128(a, b)};
}

// Vertical: (t + u + 1 - rc) >> 1. Both: (a + a' + b + b' + 2 - rc) >> 2 is
// the rounded-up mean of the two pair means, less 1 exactly when a pair sum
// is odd and the pair means differ in their low bit.
template <int kKind, int kRc>
inline __m128i combine(RowTerms t, RowTerms u) {
  __m128i m = _mm_avg_epu8(t.mean, u.mean);
  if constexpr (kKind == kBoth) {
    const __m128i tooHigh = _mm_and_si128(_mm_or_si128(t.odd, u.odd), _mm_xor_si128(t.mean, u.mean));
    m = _mm_sub_epi8(m, _mm_and_si128(tooHigh, _mm_set1_epi8(1)));
  }
  return flip<kRc>(m);
}

// The prediction of kRows rows from the reference at `a`.
template <int W, int kRows, int kKind, int kRc>
inline __m128i predictRows(const Ipp8u* a, ptrdiff_t step) {
  const __m128i top = loadRows<W, kRows>(a, step);
  if constexpr (kKind == kFull) {
    return top;
  } else if constexpr (kKind == kHorizontal) {
    return average<kRc>(top, loadRows<W, kRows>(a + 1, step));
  } else {
    return combine<kKind, kRc>(
        terms<kKind, kRc>(top, loadRows<W, kRows>(a + 1, step)),
        terms<kKind, kRc>(loadRows<W, kRows>(a + step, step), loadRows<W, kRows>(a + step + 1, step)));
  }
}

// emit(y, the prediction of the rows from y that one vector holds) over the
// block. Rows 16 wide with vertical half samples form each reference row's
// terms once, for the rows above and below it.
template <int W, int H, int kKind, int kRc, typename Emit>
inline void predictBlock(const Ipp8u* ref, ptrdiff_t step, Emit emit) {
  constexpr int k = kGroupRows<W, H>;
  if constexpr (W == 16 && kKind >= kVertical) {
    const auto termsAt = [](const Ipp8u* a) {
      return terms<kKind, kRc>(load128(a), kKind == kBoth ? load128(a + 1) : __m128i{});
    };
    RowTerms top = termsAt(ref);
    for (int y = 0; y < H; ++y) {
      const RowTerms bottom = termsAt(ref + (y + 1) * step);
      emit(y, combine<kKind, kRc>(top, bottom));
      top = bottom;
    }
  } else {
    for (int y = 0; y < H; y += k) emit(y, predictRows<W, k, kKind, kRc>(ref + y * step, step));
  }
}

// Where the kernels read and write: pointers and steps in bytes (the
// residual's step need not be even; steps may be negative).
struct Block {
  const Ipp8u* residual;
  ptrdiff_t residualStep;
  Ipp8u* dst;
  ptrdiff_t dstStep;
};

template <int W, int H, int kKind, int kRc>
void predictAndAdd(const Ipp8u* ref, ptrdiff_t step, const Block& block) {
  const Block b = block;  // a local copy: no store can change it
  constexpr int k = kGroupRows<W, H>;
  predictBlock<W, H, kKind, kRc>(ref, step, [&b](int y, __m128i p) {
    const Residual r = loadResidual<W, k>(b.residual + y * b.residualStep, b.residualStep);
    storeRows<W, k>(b.dst + y * b.dstStep, b.dstStep, addResidual(p, r));
  });
}

template <int W, int H, int kKind, int kRc>
void predictOnly(const Ipp8u* ref, ptrdiff_t step, __m128i* p) {
  predictBlock<W, H, kKind, kRc>(ref, step, [p](int y, __m128i v) { p[y / kGroupRows<W, H>] = v; });
}

// The instantiation of `Kernel` for the mc-type's half-sample kind.
template <template <int, int, int, int> class Kernel, int W, int H, int kRc, typename... Args>
void byKind(Ipp32s mcType, const Args&... args) {
  switch (mcHalfSampleKind(mcType)) {
    case kFull:
      return Kernel<W, H, kFull, kRc>::run(args...);
    case kHorizontal:
      return Kernel<W, H, kHorizontal, kRc>::run(args...);
    case kVertical:
      return Kernel<W, H, kVertical, kRc>::run(args...);
    default:
      return Kernel<W, H, kBoth, kRc>::run(args...);
  }
}

// The kernel of one direction, one kind and one rounding.
template <int W, int H, int kKind, int kRc>
void kernel(const Ipp8u* ref, ptrdiff_t step, const Ipp16s* residual, ptrdiff_t residualStep,
            Ipp8u* dst, ptrdiff_t dstStep) {
  predictAndAdd<W, H, kKind, kRc>(ref, step,
                                  Block{reinterpret_cast<const Ipp8u*>(residual), residualStep, dst, dstStep});
}

template <int W, int H>
constexpr McKernels kKernels = mcKernelsOf([]<int kKind, int kRc>() -> McKernelFn* {
  return &kernel<W, H, kKind, kRc>;
});

template <int W, int H, int kKind, int kRc>
struct Prediction {
  static void run(const Ipp8u* ref, ptrdiff_t step, __m128i* p) {
    predictOnly<W, H, kKind, kRc>(ref, step, p);
  }
};

// Both predictions (each rounded by the rounding control) are averaged
// rounding up before the residual is added.
template <int W, int H, int kRc>
void twoDirections(const Ipp8u* refF, ptrdiff_t stepF, Ipp32s typeF, const Ipp8u* refB,
                   ptrdiff_t stepB, Ipp32s typeB, const Block& block) {
  const Block b = block;
  constexpr int k = kGroupRows<W, H>;
  __m128i pF[H / k], pB[H / k];
  byKind<Prediction, W, H, kRc>(typeF, refF, stepF, &pF[0]);
  byKind<Prediction, W, H, kRc>(typeB, refB, stepB, &pB[0]);
  for (int y = 0; y < H; y += k) {
    const Residual r = loadResidual<W, k>(b.residual + y * b.residualStep, b.residualStep);
    storeRows<W, k>(b.dst + y * b.dstStep, b.dstStep,
                    addResidual(_mm_avg_epu8(pF[y / k], pB[y / k]), r));
  }
}

// Rounding control 0 rounds half-sample averages up, any other value down.
template <int W, int H>
IppStatus two(const Ipp8u* refF, Ipp32s stepF, Ipp32s typeF, const Ipp8u* refB, Ipp32s stepB,
              Ipp32s typeB, const Ipp16s* residual, Ipp32s residualStep, Ipp8u* dst,
              Ipp32s dstStep, Ipp32s roundControl) {
  if (refF == nullptr || refB == nullptr || residual == nullptr || dst == nullptr) {
    return ippStsNullPtrErr;
  }
  const Block b{reinterpret_cast<const Ipp8u*>(residual), residualStep, dst, dstStep};
  if (roundControl == 0) {
    twoDirections<W, H, 0>(refF, stepF, typeF, refB, stepB, typeB, b);
  } else {
    twoDirections<W, H, 1>(refF, stepF, typeF, refB, stepB, typeB, b);
  }
  return ippStsNoErr;
}

}  // namespace

// The kernels and entry points of each size (the entry points forward
// their arguments unchanged).
#define QUARLIN_SSE2_MC(W, H)                                                                   \
  const McKernels mc##W##x##H##Kernels = kKernels<W, H>;                                        \
  IppStatus mc##W##x##H(const Ipp8u* a, Ipp32s b, const Ipp16s* c, Ipp32s d, Ipp8u* e, Ipp32s f, \
                        Ipp32s g, Ipp32s h) {                                                   \
    return mcOneDirection(mc##W##x##H##Kernels, a, b, c, d, e, f, g, h);                        \
  }                                                                                             \
  IppStatus mc##W##x##H##B(const Ipp8u* a, Ipp32s b, Ipp32s c, const Ipp8u* d, Ipp32s e,        \
                           Ipp32s f, const Ipp16s* g, Ipp32s h, Ipp8u* i, Ipp32s j, Ipp32s k) { \
    return two<W, H>(a, b, c, d, e, f, g, h, i, j, k);                                          \
  }
QUARLIN_SSE2_MC(16, 16)
QUARLIN_SSE2_MC(16, 8)
QUARLIN_SSE2_MC(8, 16)
QUARLIN_SSE2_MC(8, 8)
QUARLIN_SSE2_MC(8, 4)
QUARLIN_SSE2_MC(4, 8)
QUARLIN_SSE2_MC(4, 4)
QUARLIN_SSE2_MC(4, 2)
#undef QUARLIN_SSE2_MC

}  // namespace quarlin::sse2
