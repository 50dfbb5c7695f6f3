// Half-sample motion compensation (ISO/IEC 13818-2 7.6.4 and 7.6.7): form the
// prediction of a W x H block from one or two references, add the 16-bit
// residual and saturate to 8 bits. Each block size is its own instantiation
// with compile-time bounds, processed a row at a time (the shape a vector
// port follows).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "primitives/generic_primitives.h"

namespace quarlin::generic {
namespace {

enum HalfSample : int { kFull = 0, kHorizontal = 1, kVertical = 2, kBoth = 3 };

// mc-type bit 3 (8) is half-sample horizontally, bit 2 (4) vertically.
inline int halfSampleKind(Ipp32s mcType) { return ((mcType >> 3) & 1) | ((mcType >> 1) & 2); }

// Rounding control 0 rounds half-sample averages up, 1 (any non-zero) down.
inline int roundingDown(Ipp32s roundControl) { return roundControl != 0 ? 1 : 0; }

// prediction (0..255) + residual (-32768..32767), saturated to a sample.
inline Ipp8u addResidual(int prediction, int residual) {
  const int v = prediction + residual;
  return static_cast<Ipp8u>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// The same with the residual first bounded to +-256, which changes no result
// and keeps every sum within 16 bits for 16-bit lanes.
inline Ipp8u addBoundedResidual(int prediction, int residual) {
  return addResidual(prediction, residual < -256 ? -256 : (residual > 256 ? 256 : residual));
}

// Prediction lanes: 16-bit for 16-wide rows, which the compiler vectorises
// as whole rows; plain ints for narrower rows, which it unrolls instead.
template <int W>
using Lane = std::conditional_t<(W >= 16), Ipp16s, int>;

template <int W>
inline void loadResidualRow(const Ipp16s* residual, ptrdiff_t stepBytes, int y, Ipp16s (&row)[W]) {
  std::memcpy(row, reinterpret_cast<const Ipp8u*>(residual) + y * stepBytes, sizeof(row));
}

// One row of prediction (values 0..255) for one half-sample kind, rc 0 or 1.
template <int W, int kKind>
inline void predictRow(const Ipp8u* ref, ptrdiff_t step, int rc, Lane<W> (&p)[W]) {
  const Ipp8u* below = ref + (kKind >= kVertical ? step : 0);
  for (int x = 0; x < W; ++x) {
    if constexpr (kKind == kFull) {
      p[x] = ref[x];
    } else if constexpr (kKind == kHorizontal) {
      p[x] = Lane<W>((ref[x] + ref[x + 1] + 1 - rc) >> 1);
    } else if constexpr (kKind == kVertical) {
      p[x] = Lane<W>((ref[x] + below[x] + 1 - rc) >> 1);
    } else {
      p[x] = Lane<W>((ref[x] + ref[x + 1] + below[x] + below[x + 1] + 2 - rc) >> 2);
    }
  }
}

template <int W>
inline void storeRow(const Lane<W> (&p)[W], const Ipp16s (&r)[W], Ipp8u* out) {
  for (int x = 0; x < W; ++x) {
    out[x] = W >= 16 ? addBoundedResidual(p[x], r[x]) : addResidual(p[x], r[x]);
  }
}

template <int W, int H, int kKind>
void predictOne(const Ipp8u* ref, ptrdiff_t refStep, const Ipp16s* residual, ptrdiff_t resStep,
                Ipp8u* dst, ptrdiff_t dstStep, int rc) {
  for (int y = 0; y < H; ++y) {
    Lane<W> p[W];
    Ipp16s r[W];
    predictRow<W, kKind>(ref + y * refStep, refStep, rc, p);
    loadResidualRow<W>(residual, resStep, y, r);
    storeRow<W>(p, r, dst + y * dstStep);
  }
}

template <int W, int H>
IppStatus mcOneDirection(const Ipp8u* ref, Ipp32s refStep, const Ipp16s* residual, Ipp32s resStep,
                         Ipp8u* dst, Ipp32s dstStep, Ipp32s mcType, Ipp32s roundControl) {
  if (ref == nullptr || residual == nullptr || dst == nullptr) return ippStsNullPtrErr;
  const int rc = roundingDown(roundControl);
  switch (halfSampleKind(mcType)) {
    case kFull:
      predictOne<W, H, kFull>(ref, refStep, residual, resStep, dst, dstStep, rc);
      break;
    case kHorizontal:
      predictOne<W, H, kHorizontal>(ref, refStep, residual, resStep, dst, dstStep, rc);
      break;
    case kVertical:
      predictOne<W, H, kVertical>(ref, refStep, residual, resStep, dst, dstStep, rc);
      break;
    default:
      predictOne<W, H, kBoth>(ref, refStep, residual, resStep, dst, dstStep, rc);
      break;
  }
  return ippStsNoErr;
}

// One reference of a two-direction prediction. Every half-sample kind is the
// same bilinear sum (a + b + c + d + 2 - rc) >> 2 over the sample, its right
// neighbour when half-sample horizontally (else itself) and the row below
// when half-sample vertically (else the same row): a full sample gives
// (4a + 2 - rc) >> 2 = a, and one half-sample direction gives
// (2a + 2b + 2 - rc) >> 2 = (a + b + 1 - rc) >> 1 for rc 0 or 1. One code path
// then serves all sixteen combinations of the two references' kinds, and a
// reference is never read beyond the row and column its kind needs.
struct BilinearSource {
  const Ipp8u* first;
  ptrdiff_t step;
  ptrdiff_t right;  // 0 or 1
  ptrdiff_t down;   // 0 or step

  BilinearSource(const Ipp8u* ref, ptrdiff_t refStep, Ipp32s mcType)
      : first(ref),
        step(refStep),
        right((mcType >> 3) & 1),
        down(((mcType >> 2) & 1) != 0 ? refStep : 0) {}
};

template <int W>
inline void predictBilinearRow(const BilinearSource& s, int y, int rc, Lane<W> (&p)[W]) {
  const Ipp8u* a = s.first + y * s.step;
  const Ipp8u* c = a + s.down;
  for (int x = 0; x < W; ++x) {
    p[x] = Lane<W>((a[x] + a[x + s.right] + c[x] + c[x + s.right] + 2 - rc) >> 2);
  }
}

template <int W, int H>
IppStatus mcTwoDirections(const Ipp8u* refF, Ipp32s stepF, Ipp32s mcTypeF, const Ipp8u* refB,
                          Ipp32s stepB, Ipp32s mcTypeB, const Ipp16s* residual, Ipp32s resStep,
                          Ipp8u* dst, Ipp32s dstStep, Ipp32s roundControl) {
  if (refF == nullptr || refB == nullptr || residual == nullptr || dst == nullptr) {
    return ippStsNullPtrErr;
  }
  const int rc = roundingDown(roundControl);
  const BilinearSource forward(refF, stepF, mcTypeF);
  const BilinearSource backward(refB, stepB, mcTypeB);
  for (int y = 0; y < H; ++y) {
    Lane<W> pF[W], pB[W];
    Ipp16s r[W];
    predictBilinearRow<W>(forward, y, rc, pF);
    predictBilinearRow<W>(backward, y, rc, pB);
    for (int x = 0; x < W; ++x) pF[x] = Lane<W>((pF[x] + pB[x] + 1) >> 1);
    loadResidualRow<W>(residual, resStep, y, r);
    storeRow<W>(pF, r, dst + ptrdiff_t{y} * dstStep);
  }
  return ippStsNoErr;
}

}  // namespace

#define QUARLIN_MC_SIZE(W, H)                                                                     \
  IppStatus mc##W##x##H(const Ipp8u* pSrcRef, Ipp32s srcStep, const Ipp16s* pSrcYData,            \
                        Ipp32s srcYDataStep, Ipp8u* pDst, Ipp32s dstStep, Ipp32s mcType,          \
                        Ipp32s roundControl) {                                                    \
    return mcOneDirection<W, H>(pSrcRef, srcStep, pSrcYData, srcYDataStep, pDst, dstStep, mcType, \
                                roundControl);                                                    \
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
