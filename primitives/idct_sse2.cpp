// The 8x8 inverse DCTs with SSE2, bit for bit those of the generic code
// (idct_arithmetic.h): each pass is the even/odd butterfly on 16-bit inputs
// with 16 x 16-bit products summed modulo 2^32, which pmaddwd gives exactly.
//
// A pass works on four lines at a time, one line per 32-bit lane: every line
// is interleaved with its upper half into the pairs (x0, x4), (x1, x5),
// (x2, x6), (x3, x7), the pairs of four lines are transposed so that one
// register holds one pair of all four, and each pmaddwd forms a two-term
// partial sum of four lines. The results come out transposed (register n
// holds output n of the eight lines), so the row pass leaves the columns in
// registers and the column pass, the same code, leaves the rows: no separate
// transpose is needed.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

#include "primitives/idct_constants.h"
#include "primitives/vector_primitives.h"

namespace quarlin::sse2 {
namespace {

using namespace idct;

// pmaddwd by the factors f: f[0] for the first of each pair, f[1] for the
// second.
inline __m128i madd(__m128i pairs, const int32_t (&f)[2]) {
  const uint32_t both =
      (static_cast<uint32_t>(f[1]) << 16) | (static_cast<uint32_t>(f[0]) & 0xFFFF);
  return _mm_madd_epi16(pairs, _mm_set1_epi32(static_cast<int32_t>(both)));
}

// The eight outputs of the 8-point transforms of lines l0..l3 (eight 16-bit
// inputs each), rounded and shifted right by kShift: sum[n] holds output n
// of the four lines in its 32-bit lanes.
//
// With kOnlyLast, x7 of l3 is the only input that can be non-zero (rows 4..7
// of a block holding nothing there but coefficient 63, which mismatch
// control sets in about half of all blocks). l3 is then itself the register
// of the pairs (x3, x7): zero in lanes 0..2 and (x6, x7) = (0, x7) in lane 3.
// The other pairs are zero.
template <int kShift, bool kOnlyLast = false>
inline void fourLines(__m128i l0, __m128i l1, __m128i l2, __m128i l3, __m128i (&sum)[8]) {
  // (x0, x4), (x1, x5), (x2, x6), (x3, x7) of each line.
  const __m128i p0 = _mm_unpacklo_epi16(l0, _mm_unpackhi_epi64(l0, l0));
  const __m128i p1 = _mm_unpacklo_epi16(l1, _mm_unpackhi_epi64(l1, l1));
  const __m128i p2 = _mm_unpacklo_epi16(l2, _mm_unpackhi_epi64(l2, l2));
  const __m128i p3 = _mm_unpacklo_epi16(l3, _mm_unpackhi_epi64(l3, l3));
  const __m128i t0 = _mm_unpacklo_epi32(p0, p1), t1 = _mm_unpacklo_epi32(p2, p3);
  const __m128i t2 = _mm_unpackhi_epi32(p0, p1), t3 = _mm_unpackhi_epi32(p2, p3);
  const __m128i zero = _mm_setzero_si128();
  const __m128i x04 = kOnlyLast ? zero : _mm_unpacklo_epi64(t0, t1);
  const __m128i x15 = kOnlyLast ? zero : _mm_unpackhi_epi64(t0, t1);
  const __m128i x26 = kOnlyLast ? zero : _mm_unpacklo_epi64(t2, t3);
  const __m128i x37 = kOnlyLast ? l3 : _mm_unpackhi_epi64(t2, t3);

  // The rounding term rides on the even part, which every output takes.
  const __m128i round = _mm_set1_epi32(1 << (kShift - 1));
  const __m128i a0 = _mm_add_epi32(madd(x04, kEvenFactors[0]), round);
  const __m128i a1 = _mm_add_epi32(madd(x04, kEvenFactors[1]), round);
  const __m128i b0 = madd(x26, kEvenFactors[2]), b1 = madd(x26, kEvenFactors[3]);
  const __m128i even[4] = {_mm_add_epi32(a0, b0), _mm_add_epi32(a1, b1), _mm_sub_epi32(a1, b1),
                           _mm_sub_epi32(a0, b0)};
  for (int n = 0; n < 4; ++n) {
    const __m128i odd = _mm_add_epi32(madd(x15, kOddFactors[n][0]), madd(x37, kOddFactors[n][1]));
    sum[n] = _mm_srai_epi32(_mm_add_epi32(even[n], odd), kShift);
    sum[7 - n] = _mm_srai_epi32(_mm_sub_epi32(even[n], odd), kShift);
  }
}

inline bool allZero(__m128i v) {
  return _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())) == 0xFFFF;
}

// One pass over the eight lines in[0..7]: out[n] holds output n of every
// line, saturated to 16 bits (the column pass's results always fit). With
// kLowerMaySkip, lines 4..7 take the short way when they hold nothing but
// x7 of line 7.
template <int kShift, bool kLowerMaySkip>
inline void pass(const __m128i (&in)[8], __m128i (&out)[8]) {
  __m128i upper[8], lower[8];
  fourLines<kShift>(in[0], in[1], in[2], in[3], upper);
  const __m128i allButLast = _mm_set_epi16(0, -1, -1, -1, -1, -1, -1, -1);
  if (kLowerMaySkip &&
      allZero(_mm_or_si128(_mm_or_si128(in[4], in[5]),
                           _mm_or_si128(in[6], _mm_and_si128(in[7], allButLast))))) {
    fourLines<kShift, true>(in[4], in[5], in[6], in[7], lower);
  } else {
    fourLines<kShift>(in[4], in[5], in[6], in[7], lower);
  }
  for (int n = 0; n < 8; ++n) out[n] = _mm_packs_epi32(upper[n], lower[n]);
}

// The result of a block whose only coefficients are the DC and coefficient
// 63 (a common shape: mismatch control sets coefficient 63 in almost every
// block whose only other coefficient is the DC, a flat area): row 0 of
// the row pass is c4 * dc everywhere, row 7 the last column of the
// transform's matrix times coefficient 63, and the other rows are zero, so
// each result takes one product pair, (row 7, row 0) by (its row's factor of
// row 7, c4).
inline void dcAndLast(Ipp16s dc, Ipp16s last, __m128i (&rows)[8]) {
  const auto rowResult = [](__m128i sum) {
    return _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(1 << (kRowShift - 1))), kRowShift);
  };
  // (x, 0) pairs: only the low 16 bits of the factors count.
  const __m128i dcPairs = _mm_set1_epi32(static_cast<uint16_t>(dc));
  const __m128i lastPairs = _mm_set1_epi32(static_cast<uint16_t>(last));
  const __m128i* lastColumn = reinterpret_cast<const __m128i*>(kLastFactors);
  const __m128i dcRow = rowResult(_mm_madd_epi16(dcPairs, _mm_set1_epi32(kC4)));
  const __m128i lastRow =
      _mm_packs_epi32(rowResult(_mm_madd_epi16(lastPairs, _mm_loadu_si128(lastColumn))),
                      rowResult(_mm_madd_epi16(lastPairs, _mm_loadu_si128(lastColumn + 1))));
  const __m128i dcRows = _mm_packs_epi32(dcRow, dcRow);
  const __m128i left = _mm_unpacklo_epi16(lastRow, dcRows),
                right = _mm_unpackhi_epi16(lastRow, dcRows);
  const __m128i round = _mm_set1_epi32(1 << (kColumnShift - 1));
  for (int n = 0; n < 8; ++n) {
    const int32_t f[2] = {kLastFactors[n], kC4};
    rows[n] = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(madd(left, f), round), kColumnShift),
                              _mm_srai_epi32(_mm_add_epi32(madd(right, f), round), kColumnShift));
  }
}

// The transform's result, one row per register.
inline void transform(const Ipp16s* src, __m128i (&rows)[8]) {
  __m128i in[8];
  for (int r = 0; r < 8; ++r)
    in[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8 * r));
  __m128i rest = _mm_or_si128(_mm_and_si128(in[0], _mm_set_epi16(-1, -1, -1, -1, -1, -1, -1, 0)),
                              _mm_and_si128(in[7], _mm_set_epi16(0, -1, -1, -1, -1, -1, -1, -1)));
  for (int r = 1; r < 7; ++r) rest = _mm_or_si128(rest, in[r]);
  if (allZero(rest)) return dcAndLast(src[0], src[63], rows);
  __m128i columns[8];
  pass<kRowShift, true>(in, columns);
  pass<kColumnShift, false>(columns, rows);
}

// The level shift and clamp of the generic code for any arguments.
inline Ipp8u shiftAndClamp(int32_t value, int addVal, int clipDown, int clipUp) {
  int64_t v = int64_t{value} + addVal;
  v = v < clipDown ? clipDown : v;
  v = v > clipUp ? clipUp : v;
  return static_cast<Ipp8u>(v);
}

}  // namespace

IppStatus idctToShort(const Ipp16s* pSrc, Ipp16s* pDst, int dstStep) {
  if (pSrc == nullptr || pDst == nullptr) return ippStsNullPtrErr;
  if (dstStep < 1) return ippStsStepErr;
  __m128i rows[8];
  transform(pSrc, rows);
  auto* dst = reinterpret_cast<Ipp8u*>(pDst);
  for (int r = 0; r < 8; ++r) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + ptrdiff_t{r} * dstStep), rows[r]);
  }
  return ippStsNoErr;
}

IppStatus idctToByte(const Ipp16s* pSrc, Ipp8u* pDst, int dstStep, int addVal, int clipDown,
                     int clipUp) {
  if (pSrc == nullptr || pDst == nullptr) return ippStsNullPtrErr;
  if (dstStep < 1) return ippStsStepErr;
  __m128i rows[8];
  transform(pSrc, rows);
  if (addVal == 0 && clipDown == 0 && clipUp == 255) {
    // The decoder's arguments: packuswb's unsigned saturation is the clamp.
    for (int r = 0; r < 8; ++r) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(pDst + ptrdiff_t{r} * dstStep),
                       _mm_packus_epi16(rows[r], rows[r]));
    }
    return ippStsNoErr;
  }
  Ipp16s values[64];
  for (int r = 0; r < 8; ++r) _mm_storeu_si128(reinterpret_cast<__m128i*>(values + 8 * r), rows[r]);
  for (int r = 0; r < 8; ++r) {
    for (int c = 0; c < 8; ++c) {
      pDst[ptrdiff_t{r} * dstStep + c] = shiftAndClamp(values[8 * r + c], addVal, clipDown, clipUp);
    }
  }
  return ippStsNoErr;
}

}  // namespace quarlin::sse2
