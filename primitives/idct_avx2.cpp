// The 8x8 inverse DCTs with AVX2: the passes of idct_sse2.cpp on all eight
// lines at once, four lines in each 128-bit lane (every shuffle stays within
// a lane but the permutes that narrow the results). The row pass takes rows
// 2i and 2i + 1 from one 256-bit load, so its lanes hold rows 0, 2, 4, 6 and
// rows 1, 3, 5, 7; it leaves columns n and n + 4 in one register, each with
// its inputs in that row order, which the column pass's byte shuffle pairs
// as the row pass's pairs a row's inputs in order.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "primitives/idct_constants.h"
#include "primitives/vector_primitives.h"

namespace quarlin::avx2 {
namespace {

using namespace idct;

// vpmaddwd by the factors f: f[0] for the first of each pair, f[1] for the
// second.
inline __m256i madd(__m256i pairs, const int32_t (&f)[2]) {
  const uint32_t both =
      (static_cast<uint32_t>(f[1]) << 16) | (static_cast<uint32_t>(f[0]) & 0xFFFF);
  return _mm256_madd_epi16(pairs, _mm256_set1_epi32(static_cast<int32_t>(both)));
}

// Byte shuffles giving the pairs (x0, x4), (x1, x5), (x2, x6), (x3, x7) of
// the line in each lane: for inputs in order x0..x7, and for inputs in the
// row pass's order x0, x2, x4, x6, x1, x3, x5, x7.
inline __m256i pairsInOrder() {
  return _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15, 0, 1, 8, 9, 2, 3,
                          10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
}
inline __m256i pairsInRowPassOrder() {
  return _mm256_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15, 0, 1, 4, 5, 8, 9,
                          12, 13, 2, 3, 6, 7, 10, 11, 14, 15);
}

// One pass: in[i] holds two lines of eight 16-bit inputs, one per lane, that
// `pairing` turns into pairs; sum[n] receives output n of the low lanes'
// lines of in[0..3] (32-bit lanes 0..3) and of their high lanes' lines
// (lanes 4..7), rounded and shifted right by kShift.
template <int kShift>
inline void pass(const __m256i (&in)[4], __m256i pairing, __m256i (&sum)[8]) {
  __m256i p[4];
  for (int i = 0; i < 4; ++i) p[i] = _mm256_shuffle_epi8(in[i], pairing);
  const __m256i t0 = _mm256_unpacklo_epi32(p[0], p[1]), t1 = _mm256_unpacklo_epi32(p[2], p[3]);
  const __m256i t2 = _mm256_unpackhi_epi32(p[0], p[1]), t3 = _mm256_unpackhi_epi32(p[2], p[3]);
  const __m256i x04 = _mm256_unpacklo_epi64(t0, t1), x15 = _mm256_unpackhi_epi64(t0, t1);
  const __m256i x26 = _mm256_unpacklo_epi64(t2, t3), x37 = _mm256_unpackhi_epi64(t2, t3);

  const __m256i round = _mm256_set1_epi32(1 << (kShift - 1));
  const __m256i a0 = _mm256_add_epi32(madd(x04, kEvenFactors[0]), round);
  const __m256i a1 = _mm256_add_epi32(madd(x04, kEvenFactors[1]), round);
  const __m256i b0 = madd(x26, kEvenFactors[2]), b1 = madd(x26, kEvenFactors[3]);
  const __m256i even[4] = {_mm256_add_epi32(a0, b0), _mm256_add_epi32(a1, b1),
                           _mm256_sub_epi32(a1, b1), _mm256_sub_epi32(a0, b0)};
  for (int n = 0; n < 4; ++n) {
    const __m256i odd =
        _mm256_add_epi32(madd(x15, kOddFactors[n][0]), madd(x37, kOddFactors[n][1]));
    sum[n] = _mm256_srai_epi32(_mm256_add_epi32(even[n], odd), kShift);
    sum[7 - n] = _mm256_srai_epi32(_mm256_sub_epi32(even[n], odd), kShift);
  }
}

// Outputs a and b of a pass as 16-bit values, saturated: (a of lanes 0..7 |
// b of lanes 0..7). packssdw alone gives (a of lanes 0..3, b of lanes 0..3 |
// a of lanes 4..7, b of lanes 4..7).
inline __m256i twoOutputs(__m256i a, __m256i b) {
  return _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8);
}

// The column pass's sums for a block whose only coefficients are the DC and
// coefficient 63, as in idct_sse2.cpp: each result is the product pair (row
// 7, row 0) of the row pass by (its row's factor of row 7, c4), columns 0..3
// in the low lane and 4..7 in the high one.
inline void dcAndLast(Ipp16s dc, Ipp16s last, __m256i (&sum)[8]) {
  // The pair (dc, coefficient 63) in every 32-bit lane.
  const __m256i pairs = _mm256_set1_epi32(static_cast<int32_t>(
      (static_cast<uint32_t>(static_cast<uint16_t>(last)) << 16) | static_cast<uint16_t>(dc)));
  const __m256i lastColumn = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kLastFactors));
  // (dc, last) by (c4, 0) and by (0, factor of x7) for each column.
  const __m256i products[2] = {_mm256_madd_epi16(pairs, _mm256_set1_epi32(kC4)),
                               _mm256_madd_epi16(pairs, _mm256_slli_epi32(lastColumn, 16))};
  const __m256i rowRound = _mm256_set1_epi32(1 << (kRowShift - 1));
  const __m256i row0 = _mm256_srai_epi32(_mm256_add_epi32(products[0], rowRound), kRowShift);
  const __m256i row7 = _mm256_srai_epi32(_mm256_add_epi32(products[1], rowRound), kRowShift);
  // (row 7, row 0) of columns 0..3 (low lane) and 4..7 (high lane).
  const __m256i columnPairs =
      _mm256_unpacklo_epi16(_mm256_packs_epi32(row7, row7), _mm256_packs_epi32(row0, row0));
  const __m256i round = _mm256_set1_epi32(1 << (kColumnShift - 1));
  for (int n = 0; n < 8; ++n) {
    const int32_t f[2] = {kLastFactors[n], kC4};
    sum[n] = _mm256_srai_epi32(_mm256_add_epi32(madd(columnPairs, f), round), kColumnShift);
  }
}

// Rows 0..7 of 16-bit results at dst with dstStep bytes from row to row,
// from the column pass's sums: sum[n] holds row n, columns 0..3 in the low
// lane and 4..7 in the high one.
[[gnu::always_inline]] inline void storeShorts(const __m256i (&sum)[8], Ipp16s* pDst, int dstStep) {
  auto* dst = reinterpret_cast<Ipp8u*>(pDst);
  for (int i = 0; i < 4; ++i) {
    const __m256i rows = twoOutputs(sum[i], sum[i + 4]);  // rows i and i + 4
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + ptrdiff_t{i} * dstStep),
                     _mm256_castsi256_si128(rows));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + ptrdiff_t{i + 4} * dstStep),
                     _mm256_extracti128_si256(rows, 1));
  }
}

// The same clamped to bytes: packssdw then packuswb (whose unsigned
// saturation is the clamp) leave columns 0..3 of rows 4i..4i + 3 in the low
// lane and columns 4..7 in the high one; a 32-bit permute makes that rows
// 4i, 4i + 1 | 4i + 2, 4i + 3.
[[gnu::always_inline]] inline void storeBytes(const __m256i (&sum)[8], Ipp8u* dst, int dstStep) {
  const __m256i wholeRows = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  for (int i = 0; i < 2; ++i) {
    const __m256i words[2] = {_mm256_packs_epi32(sum[4 * i], sum[4 * i + 1]),
                              _mm256_packs_epi32(sum[4 * i + 2], sum[4 * i + 3])};
    const __m256i bytes =
        _mm256_permutevar8x32_epi32(_mm256_packus_epi16(words[0], words[1]), wholeRows);
    const __m128i upper = _mm256_castsi256_si128(bytes), lower = _mm256_extracti128_si256(bytes, 1);
    Ipp8u* at = dst + ptrdiff_t{4 * i} * dstStep;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(at), upper);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(at + dstStep), _mm_srli_si128(upper, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(at + 2 * ptrdiff_t{dstStep}), lower);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(at + 3 * ptrdiff_t{dstStep}), _mm_srli_si128(lower, 8));
  }
}

// The transform of src, stored by kStore. Each path stores its own results,
// straight from registers.
template <typename Out, void (*kStore)(const __m256i (&)[8], Out*, int)>
[[gnu::always_inline]] inline void transform(const Ipp16s* src, Out* dst, int dstStep) {
  __m256i in[4];  // rows 2i (low lane) and 2i + 1 (high lane)
  for (int i = 0; i < 4; ++i)
    in[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 16 * i));
  // All but coefficients 0 (in[0]'s first) and 63 (in[3]'s last).
  const __m256i notFirst =
      _mm256_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i notLast =
      _mm256_setr_epi16(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0);
  const __m256i rest = _mm256_or_si256(
      _mm256_or_si256(_mm256_and_si256(in[0], notFirst), _mm256_and_si256(in[3], notLast)),
      _mm256_or_si256(in[1], in[2]));
  __m256i sum[8];
  if (_mm256_testz_si256(rest, rest)) {
    dcAndLast(src[0], src[63], sum);
    return kStore(sum, dst, dstStep);
  }
  __m256i rowSums[8], columns[4];
  pass<kRowShift>(in, pairsInOrder(), rowSums);
  for (int n = 0; n < 4; ++n) columns[n] = twoOutputs(rowSums[n], rowSums[n + 4]);
  pass<kColumnShift>(columns, pairsInRowPassOrder(), sum);
  kStore(sum, dst, dstStep);
}

}  // namespace

IppStatus idctToShort(const Ipp16s* pSrc, Ipp16s* pDst, int dstStep) {
  if (pSrc == nullptr || pDst == nullptr) return ippStsNullPtrErr;
  if (dstStep < 1) return ippStsStepErr;
  transform<Ipp16s, storeShorts>(pSrc, pDst, dstStep);
  return ippStsNoErr;
}

// Other arguments than the decoder's take the SSE2 code's general clamp.
IppStatus idctToByte(const Ipp16s* pSrc, Ipp8u* pDst, int dstStep, int addVal, int clipDown,
                     int clipUp) {
  if (addVal != 0 || clipDown != 0 || clipUp != 255 || pSrc == nullptr || pDst == nullptr ||
      dstStep < 1) {
    return sse2::idctToByte(pSrc, pDst, dstStep, addVal, clipDown, clipUp);
  }
  transform<Ipp8u, storeBytes>(pSrc, pDst, dstStep);
  return ippStsNoErr;
}

}  // namespace quarlin::avx2
