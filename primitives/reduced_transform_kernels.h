// The reduced-scale block transform's vector kernels, bit for bit the
// generic code (slice/reduced_block_transform.cpp), and the row factors they
// share. Declarations and constants only, so that code compiled for any tier
// may include it.
//
// The transform is the 8x8 inverse DCT of idct_arithmetic.h restricted to
// what the reduced scales keep: the row pass reads inputs u = 0..3 of each
// row and computes only its even outputs x = 0, 2, 4, 6; the column pass
// runs on those four columns alone. Leaving out zero inputs and unused
// outputs changes no bit, so the results are those of the full transform.
#pragma once
#include <cstdint>

#include "primitives/idct_constants.h"

namespace quarlin {
namespace reduced {

// kRowFactors[u][i]: the factor of input u in the row pass's output x = 2i,
// round(2^15 * cos((2x + 1) * u * pi / 16)) for u = 1..3 and c4 for the DC:
// the butterfly's own products, so their sums modulo 2^32 are its sums.
constexpr int32_t kRowFactors[4][4] = {{idct::kC4, idct::kC4, idct::kC4, idct::kC4},
                                       {idct::kC1, idct::kC5, -idct::kC7, -idct::kC3},
                                       {idct::kC2, -idct::kC6, -idct::kC2, idct::kC6},
                                       {idct::kC3, -idct::kC1, idct::kC5, idct::kC7}};

}  // namespace reduced

namespace sse2 {

// The reduced block of `rows` (8 or 4) rows of four samples from 64
// coefficients: 16-bit results, or results clamped to [0, 255]; dstStep in
// bytes.
void reducedTransformToShort(const int16_t* coefficients, int rows, int16_t* dst, int32_t dstStep);
void reducedTransformToByte(const int16_t* coefficients, int rows, uint8_t* dst, int32_t dstStep);

}  // namespace sse2

namespace avx2 {

// The 16-bit form only: the 8-bit one gains nothing over SSE2's.
void reducedTransformToShort(const int16_t* coefficients, int rows, int16_t* dst, int32_t dstStep);

}  // namespace avx2
}  // namespace quarlin
