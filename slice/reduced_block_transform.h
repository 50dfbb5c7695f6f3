// ReducedBlockTransform: the reconstruction used at HalfWidth and Quarter
// scale. From the 64 dequantised coefficients F(u, v) of an 8x8 block (raster
// order, u horizontal) it keeps the four lowest horizontal frequencies, takes
// the 8x8 inverse DCT f(x, y) of what remains and samples it at the even
// columns: a 4-wide, 8-high block (HalfWidth), or 4x4 at the even columns and
// even rows (Quarter), with the full 8x8 inverse DCT's own arithmetic, so a
// block holding only a DC coefficient gives exactly the full transform's value.
#pragma once
#include <cstdint>

#include "primitives/primitive_signatures.h"

namespace quarlin {

// Rows of output: 8 for HalfWidth, 4 for Quarter.
enum class ReducedRows { Eight = 8, Four = 4 };

// 16-bit residual output saturated to [-32768, 32767]; dstStep in bytes.
// `idct` is the full inverse DCT the output is sampled from (the slice passes
// the implementation it resolved).
void reducedTransformToShort(const int16_t* coefficients, ReducedRows rows, int16_t* dst,
                             int32_t dstStep, IdctToShortFn* idct = &ippiDCT8x8Inv_16s_C1R);
// 8-bit output clamped to [0, 255]; dstStep in bytes.
void reducedTransformToByte(const int16_t* coefficients, ReducedRows rows, uint8_t* dst,
                            int32_t dstStep, IdctToByteFn* idct = &ippiDCT8x8InvLSClip_16s8u_C1R);

}  // namespace quarlin
