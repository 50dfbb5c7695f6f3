#include "slice/reduced_block_transform.h"

#include <algorithm>
#include <cstring>

#include "primitives/primitives.h"

namespace quarlin {
namespace {

// The reduced output is f(2i, j) (and, at Quarter, f(2i, 2j)) of the full
// 8x8 inverse DCT of the block with horizontal frequencies 4..7 dropped: the
// full transform's own arithmetic (vectorised per processor tier, 16-bit
// saturated as it is), so a flat area has one level at every scale.
template <class Store>
void transform(const int16_t* coefficients, ReducedRows rows, IdctToShortFn* idct, Store store) {
  alignas(16) int16_t low[64];
  for (int v = 0; v < 8; ++v) {
    std::memcpy(low + 8 * v, coefficients + 8 * v, 4 * sizeof(int16_t));
    std::memset(low + 8 * v + 4, 0, 4 * sizeof(int16_t));
  }
  alignas(16) int16_t full[64];
  idct(low, full, 8 * sizeof(int16_t));
  const int rowStep = rows == ReducedRows::Eight ? 1 : 2;
  for (int r = 0; r < static_cast<int>(rows); ++r)
    for (int i = 0; i < 4; ++i) store(r, i, full[8 * r * rowStep + 2 * i]);
}

}  // namespace

void reducedTransformToShort(const int16_t* coefficients, ReducedRows rows, int16_t* dst,
                             int32_t dstStep, IdctToShortFn* idct) {
  auto* base = reinterpret_cast<uint8_t*>(dst);
  transform(coefficients, rows, idct, [&](int r, int i, int16_t value) {
    reinterpret_cast<int16_t*>(base + r * dstStep)[i] = value;
  });
}

void reducedTransformToByte(const int16_t* coefficients, ReducedRows rows, uint8_t* dst,
                            int32_t dstStep, IdctToShortFn* idct) {
  transform(coefficients, rows, idct, [&](int r, int i, int16_t value) {
    dst[r * dstStep + i] = static_cast<uint8_t>(std::clamp<int>(value, 0, 255));
  });
}

}  // namespace quarlin
