// The generic reduced-scale transform: the full inverse DCT's arithmetic
// (idct_arithmetic.h) on only what the reduced block needs. The vector
// kernels (primitives/reduced_transform_*.cpp) give the same bits at a
// fraction of the cost: the compiler does not turn these 4-lane 16 x 16-bit
// products into SSE2 multiply-adds.
#include "slice/reduced_block_transform.h"

#include <algorithm>
#include <cstring>

#include "primitives/dispatch_tables.h"
#include "primitives/idct_arithmetic.h"
#include "primitives/reduced_transform_kernels.h"

namespace quarlin {
namespace {

using namespace generic::idct;

// The row pass of the full transform on the four low inputs of each row,
// even outputs only: low[y][i] is output x = 2i of row y, saturated to 16
// bits as the full transform's row results are.
void rowPass(const int16_t* coefficients, int16_t (&low)[8][4]) {
  for (int y = 0; y < 8; ++y) {
    Ipp16s x[8] = {};
    std::memcpy(x, coefficients + 8 * y, 4 * sizeof(Ipp16s));
    uint32_t sum[8];
    butterfly8<4>(x, sum);  // inputs 4..7 are zero, left out
    for (int i = 0; i < 4; ++i) low[y][i] = saturate16(roundShift(sum[2 * i], kRowShift));
  }
}

// The full transform's column pass on the four columns: out[j][i] is output
// y = j * 8 / kRows of column i, within [-2048, 2047].
template <int kRows>
void columnPass(const int16_t (&low)[8][4], int16_t (&out)[kRows][4]) {
  int16_t all[8][4];
  for (int i = 0; i < 4; ++i) transform8<8, kColumnShift>(&low[0][i], 4, &all[0][i], 4);
  for (int j = 0; j < kRows; ++j) std::memcpy(out[j], all[j * 8 / kRows], sizeof out[j]);
}

template <int kRows>
void shortRows(const int16_t* coefficients, int16_t* dst, int32_t dstStep) {
  int16_t low[8][4], out[kRows][4];
  rowPass(coefficients, low);
  columnPass<kRows>(low, out);
  auto* row = reinterpret_cast<uint8_t*>(dst);
  for (int j = 0; j < kRows; ++j, row += dstStep) std::memcpy(row, out[j], sizeof out[j]);
}

void genericToShort(const int16_t* coefficients, int rows, int16_t* dst, int32_t dstStep) {
  if (rows == 8) return shortRows<8>(coefficients, dst, dstStep);
  shortRows<4>(coefficients, dst, dstStep);
}

void genericToByte(const int16_t* coefficients, int rows, uint8_t* dst, int32_t dstStep) {
  int16_t out[8][4];
  genericToShort(coefficients, rows, &out[0][0], sizeof out[0]);
  for (int j = 0; j < rows; ++j, dst += dstStep) {
    for (int i = 0; i < 4; ++i)
      dst[i] = static_cast<uint8_t>(std::clamp<int16_t>(out[j][i], 0, 255));
  }
}

// Whether the four low columns hold nothing but the DC (little-endian: the
// DC is the low 16 bits of row 0's first 64).
bool onlyDc(const int16_t* coefficients) {
  uint64_t rest = 0;
  for (int y = 0; y < 8; ++y) {
    uint64_t low;
    std::memcpy(&low, coefficients + 8 * y, sizeof low);
    rest |= y == 0 ? low >> 16 : low;
  }
  return rest == 0;
}

// The 8-bit form: a DC-only block filled with the full transform's DC value
// (the same bits as the kernel), any other block by the kernel.
template <ReducedToByteFn* kKernel>
void toByteFillingDc(const int16_t* coefficients, int rows, uint8_t* dst, int32_t dstStep) {
  if (!onlyDc(coefficients)) return kKernel(coefficients, rows, dst, dstStep);
  const Ipp16s value = transformDc<kColumnShift>(transformDc<kRowShift>(coefficients[0]));
  const auto sample = static_cast<uint8_t>(std::clamp<Ipp16s>(value, 0, 255));
  for (int j = 0; j < rows; ++j, dst += dstStep) std::memset(dst, sample, 4);
}

}  // namespace

ReducedTransforms reducedTransformsAt(int32_t slot) {
  if (slot >= kSlotAvx2) return {&avx2::reducedTransformToShort, &toByteFillingDc<&sse2::reducedTransformToByte>};
  if (slot >= kSlotSse2) return {&sse2::reducedTransformToShort, &toByteFillingDc<&sse2::reducedTransformToByte>};
  return {&genericToShort, &toByteFillingDc<&genericToByte>};
}

}  // namespace quarlin
