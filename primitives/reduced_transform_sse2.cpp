// The reduced-scale block transform with SSE2, bit for bit the generic code
// (slice/reduced_block_transform.cpp): 16 x 16-bit products summed modulo
// 2^32 by pmaddwd, the row results saturated to 16 bits by packssdw.
//
// Row pass: each row's pairs (x0, x1) and (x2, x3) are copied to all four
// 32-bit lanes and multiplied by the factor pairs of the outputs x = 0, 2, 4,
// 6, one output per lane. Two rows packed per register leave the columns'
// pairs (row k, row k + 4) one interleave away, the inputs of the column
// pass's butterfly, which gives output row n of the four columns per register.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "primitives/reduced_transform_kernels.h"

namespace quarlin::sse2 {
namespace {

using namespace idct;

// The 16-bit pair (first, second) in every 32-bit lane.
inline __m128i pair(int32_t first, int32_t second) {
  return _mm_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(second) << 16) |
                                             (static_cast<uint32_t>(first) & 0xFFFF)));
}

// The factor pairs of inputs (u, u + 1) for the four outputs, one per lane.
inline __m128i rowFactors(int u) {
  const auto& f = reduced::kRowFactors;
  return _mm_setr_epi16(static_cast<int16_t>(f[u][0]), static_cast<int16_t>(f[u + 1][0]),
                        static_cast<int16_t>(f[u][1]), static_cast<int16_t>(f[u + 1][1]),
                        static_cast<int16_t>(f[u][2]), static_cast<int16_t>(f[u + 1][2]),
                        static_cast<int16_t>(f[u][3]), static_cast<int16_t>(f[u + 1][3]));
}

// Outputs x = 0, 2, 4, 6 of row `row`'s pass in 32-bit lanes, rounded and
// shifted, not yet saturated. Each pmaddwd sum stays below 2^31 (two
// products below 2^30); their sum may wrap, modulo 2^32 as the generic one.
inline __m128i rowPass(const int16_t* row, __m128i low, __m128i high) {
  const __m128i x = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row));
  const __m128i sum = _mm_add_epi32(_mm_madd_epi16(_mm_shuffle_epi32(x, 0x00), low),
                                    _mm_madd_epi16(_mm_shuffle_epi32(x, 0x55), high));
  return _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(1 << (kRowShift - 1))), kRowShift);
}

// The column pass's inputs: x[k] holds the pairs (row k, row k + 4) of the
// four columns, row results saturated to 16 bits.
inline void rowsOf(const int16_t* src, __m128i (&x)[4]) {
  const __m128i low = rowFactors(0), high = rowFactors(2);
  __m128i rows[4];  // rows 0, 1 | 2, 3 | 4, 5 | 6, 7
  for (int r = 0; r < 4; ++r) {
    rows[r] =
        _mm_packs_epi32(rowPass(src + 16 * r, low, high), rowPass(src + 16 * r + 8, low, high));
  }
  x[0] = _mm_unpacklo_epi16(rows[0], rows[2]);
  x[1] = _mm_unpackhi_epi16(rows[0], rows[2]);
  x[2] = _mm_unpacklo_epi16(rows[1], rows[3]);
  x[3] = _mm_unpackhi_epi16(rows[1], rows[3]);
}

// The column pass: out[j] holds output row j * 8 / kRows of the four
// columns in 32-bit lanes, within [-2048, 2047].
template <int kRows>
inline void columnPass(const __m128i (&x)[4], __m128i (&out)[kRows]) {
  const __m128i round = _mm_set1_epi32(1 << (kColumnShift - 1));
  const auto madd = [](__m128i pairs, const int32_t(&f)[2]) {
    return _mm_madd_epi16(pairs, pair(f[0], f[1]));
  };
  const __m128i a0 = _mm_add_epi32(madd(x[0], kEvenFactors[0]), round);
  const __m128i a1 = _mm_add_epi32(madd(x[0], kEvenFactors[1]), round);
  const __m128i b0 = madd(x[2], kEvenFactors[2]), b1 = madd(x[2], kEvenFactors[3]);
  const __m128i even[4] = {_mm_add_epi32(a0, b0), _mm_add_epi32(a1, b1), _mm_sub_epi32(a1, b1),
                           _mm_sub_epi32(a0, b0)};
  __m128i sum[8];
  for (int n = 0; n < 4; ++n) {
    const __m128i odd = _mm_add_epi32(madd(x[1], kOddFactors[n][0]), madd(x[3], kOddFactors[n][1]));
    sum[n] = _mm_add_epi32(even[n], odd);
    sum[7 - n] = _mm_sub_epi32(even[n], odd);
  }
  for (int j = 0; j < kRows; ++j) out[j] = _mm_srai_epi32(sum[j * 8 / kRows], kColumnShift);
}

// 16-bit results, two rows per pack.
template <int kRows>
inline void toShort(const int16_t* src, uint8_t* dst, int32_t dstStep) {
  __m128i x[4], out[kRows];
  rowsOf(src, x);
  columnPass<kRows>(x, out);
  for (int j = 0; j < kRows; j += 2, dst += 2 * ptrdiff_t{dstStep}) {
    const __m128i two = _mm_packs_epi32(out[j], out[j + 1]);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), two);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + dstStep), _mm_unpackhi_epi64(two, two));
  }
}

// packuswb's unsigned saturation is the clamp to [0, 255].
template <int kRows>
inline void toByte(const int16_t* src, uint8_t* dst, int32_t dstStep) {
  __m128i x[4], out[kRows];
  rowsOf(src, x);
  columnPass<kRows>(x, out);
  for (int j = 0; j < kRows; j += 4) {
    __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(out[j], out[j + 1]),
                                     _mm_packs_epi32(out[j + 2], out[j + 3]));
    for (int k = 0; k < 4; ++k, dst += dstStep, bytes = _mm_srli_si128(bytes, 4)) {
      const int32_t four = _mm_cvtsi128_si32(bytes);
      std::memcpy(dst, &four, 4);
    }
  }
}

}  // namespace

void reducedTransformToShort(const int16_t* coefficients, int rows, int16_t* dst, int32_t dstStep) {
  auto* out = reinterpret_cast<uint8_t*>(dst);
  rows == 8 ? toShort<8>(coefficients, out, dstStep) : toShort<4>(coefficients, out, dstStep);
}

void reducedTransformToByte(const int16_t* coefficients, int rows, uint8_t* dst, int32_t dstStep) {
  rows == 8 ? toByte<8>(coefficients, dst, dstStep) : toByte<4>(coefficients, dst, dstStep);
}

}  // namespace quarlin::sse2
