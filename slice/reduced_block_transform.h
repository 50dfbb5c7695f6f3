// ReducedBlockTransform: the reconstruction used at HalfWidth and Quarter
// scale. From the 64 dequantised coefficients F(u, v) of an 8x8 block (raster
// order, u horizontal) it keeps the four lowest horizontal frequencies, takes
// the 8x8 inverse DCT f(x, y) of what remains and samples it at the even
// columns: a 4-wide, 8-high block (HalfWidth), or 4x4 at the even columns and
// even rows (Quarter), with the full 8x8 inverse DCT's own arithmetic, so a
// block holding only a DC coefficient gives exactly the full transform's value.
// Only the samples kept are computed: the row pass reads the four low columns
// and gives the even columns, the column pass runs on those four columns.
#pragma once
#include <cstdint>

namespace quarlin {

// Rows of output: 8 for HalfWidth, 4 for Quarter.
enum class ReducedRows { Eight = 8, Four = 4 };

// 16-bit residual output, or 8-bit output clamped to [0, 255]; `rows` 8 or
// 4; dstStep in bytes.
using ReducedToShortFn = void(const int16_t* coefficients, int rows, int16_t* dst, int32_t dstStep);
using ReducedToByteFn = void(const int16_t* coefficients, int rows, uint8_t* dst, int32_t dstStep);

// The two forms for a dispatch slot, resolved once per slice: the vector
// kernels from the SSE2 slot up (which a processor without SSE2 never
// selects; AVX2's 16-bit form in the AVX2 slot), else the generic code; the
// same bits in every slot. The 8-bit forms fill a block whose four low
// columns hold only the DC (most intra blocks at these scales) with its one
// value.
struct ReducedTransforms {
  ReducedToShortFn* toShort;
  ReducedToByteFn* toByte;

  void toShortRows(const int16_t* coefficients, ReducedRows rows, int16_t* dst, int32_t dstStep) const {
    toShort(coefficients, static_cast<int>(rows), dst, dstStep);
  }
  void toByteRows(const int16_t* coefficients, ReducedRows rows, uint8_t* dst, int32_t dstStep) const {
    toByte(coefficients, static_cast<int>(rows), dst, dstStep);
  }
};

ReducedTransforms reducedTransformsAt(int32_t slot);

}  // namespace quarlin
