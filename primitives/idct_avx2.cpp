// The 8x8 inverse DCTs with AVX2: the passes of idct_sse2.cpp on all eight
// lines at once, lines 0..3 in the low 128-bit lane and lines 4..7 in the
// high one (every shuffle used stays within a lane). A pass leaves output n
// of lines 0..7 and output n + 4 in one register, the very layout of its
// input, so the column pass takes the row pass's results as they are.
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

// One pass: in[i] holds line i (low lane) and line i + 4 (high lane), eight
// 16-bit inputs each; out[i] receives output i of lines 0..7 (low lane) and
// output i + 4 of lines 0..7 (high lane), rounded, shifted right by kShift
// and saturated to 16 bits.
template <int kShift>
inline void pass(const __m256i (&in)[4], __m256i (&out)[4]) {
  __m256i p[4];
  for (int i = 0; i < 4; ++i)
    p[i] = _mm256_unpacklo_epi16(in[i], _mm256_unpackhi_epi64(in[i], in[i]));
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
  __m256i sum[8];
  for (int n = 0; n < 4; ++n) {
    const __m256i odd =
        _mm256_add_epi32(madd(x15, kOddFactors[n][0]), madd(x37, kOddFactors[n][1]));
    sum[n] = _mm256_srai_epi32(_mm256_add_epi32(even[n], odd), kShift);
    sum[7 - n] = _mm256_srai_epi32(_mm256_sub_epi32(even[n], odd), kShift);
  }
  // packssdw gives (n of lines 0..3, n + 4 of lines 0..3 | n of lines 4..7,
  // n + 4 of lines 4..7); the 64-bit permute puts the lines in order.
  for (int n = 0; n < 4; ++n) {
    out[n] = _mm256_permute4x64_epi64(_mm256_packs_epi32(sum[n], sum[n + 4]), 0xD8);
  }
}

// The result of a block whose only coefficients are the DC and coefficient
// 63, as in idct_sse2.cpp: each result is the product pair (row 7, row 0) of
// the row pass by (its row's factor of row 7, c4), columns 0..3 in the low
// lane and 4..7 in the high one.
inline void dcAndLast(Ipp16s dc, Ipp16s last, __m256i (&rows)[4]) {
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
  __m256i sum[8];
  for (int n = 0; n < 8; ++n) {
    const int32_t f[2] = {kLastFactors[n], kC4};
    sum[n] = _mm256_srai_epi32(_mm256_add_epi32(madd(columnPairs, f), round), kColumnShift);
  }
  for (int i = 0; i < 4; ++i) {
    rows[i] = _mm256_permute4x64_epi64(_mm256_packs_epi32(sum[i], sum[i + 4]), 0xD8);
  }
}

// The transform's result: rows[i] holds row i (low lane) and row i + 4
// (high lane).
inline void transform(const Ipp16s* src, __m256i (&rows)[4]) {
  __m256i in[4];
  for (int i = 0; i < 4; ++i) {
    const __m128i upper = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8 * i));
    const __m128i lower = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8 * i + 32));
    in[i] = _mm256_inserti128_si256(_mm256_castsi128_si256(upper), lower, 1);
  }
  // All but coefficients 0 (in[0]'s first) and 63 (in[3]'s last).
  const __m256i notFirst =
      _mm256_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i notLast =
      _mm256_setr_epi16(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0);
  const __m256i rest = _mm256_or_si256(
      _mm256_or_si256(_mm256_and_si256(in[0], notFirst), _mm256_and_si256(in[3], notLast)),
      _mm256_or_si256(in[1], in[2]));
  if (_mm256_testz_si256(rest, rest)) return dcAndLast(src[0], src[63], rows);
  __m256i columns[4];
  pass<kRowShift>(in, columns);
  pass<kColumnShift>(columns, rows);
}

}  // namespace

IppStatus idctToShort(const Ipp16s* pSrc, Ipp16s* pDst, int dstStep) {
  if (pSrc == nullptr || pDst == nullptr) return ippStsNullPtrErr;
  if (dstStep < 1) return ippStsStepErr;
  __m256i rows[4];
  transform(pSrc, rows);
  auto* dst = reinterpret_cast<Ipp8u*>(pDst);
  for (int i = 0; i < 4; ++i) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + ptrdiff_t{i} * dstStep),
                     _mm256_castsi256_si128(rows[i]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + ptrdiff_t{i + 4} * dstStep),
                     _mm256_extracti128_si256(rows[i], 1));
  }
  return ippStsNoErr;
}

// Other arguments than the decoder's take the SSE2 code's general clamp.
IppStatus idctToByte(const Ipp16s* pSrc, Ipp8u* pDst, int dstStep, int addVal, int clipDown,
                     int clipUp) {
  if (addVal != 0 || clipDown != 0 || clipUp != 255 || pSrc == nullptr || pDst == nullptr ||
      dstStep < 1) {
    return sse2::idctToByte(pSrc, pDst, dstStep, addVal, clipDown, clipUp);
  }
  __m256i rows[4];
  transform(pSrc, rows);
  // packuswb's unsigned saturation is the clamp: rows 0, 1 | 4, 5 and 2, 3 | 6, 7.
  for (int i = 0; i < 2; ++i) {
    const __m256i bytes = _mm256_packus_epi16(rows[2 * i], rows[2 * i + 1]);
    const __m128i upper = _mm256_castsi256_si128(bytes), lower = _mm256_extracti128_si256(bytes, 1);
    Ipp8u* at = pDst + ptrdiff_t{2 * i} * dstStep;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(at), upper);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(at + dstStep), _mm_unpackhi_epi64(upper, upper));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(at + 4 * ptrdiff_t{dstStep}), lower);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(at + 5 * ptrdiff_t{dstStep}),
                     _mm_unpackhi_epi64(lower, lower));
  }
  return ippStsNoErr;
}

}  // namespace quarlin::avx2
