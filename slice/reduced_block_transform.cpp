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
struct LowFrequencies {
  alignas(16) int16_t block[64];
  explicit LowFrequencies(const int16_t* coefficients) {
    for (int v = 0; v < 8; ++v) {  // u 0..3 of each row kept, 4..7 cleared
      std::memcpy(block + 8 * v, coefficients + 8 * v, 4 * sizeof(int16_t));
      std::memset(block + 8 * v + 4, 0, 4 * sizeof(int16_t));
    }
  }
};

// Rows of f sampled: every row, or every other row.
int rowStep(ReducedRows rows) { return rows == ReducedRows::Eight ? 1 : 2; }

// The even lanes of 8 lanes of `bits` bits (little-endian): lanes 0, 2, 4, 6.
template <int kBits>
uint64_t evenLanes(const void* lanes) {
  static_assert(kBits == 8 || kBits == 16);
  uint64_t half[kBits / 8];  // the 8 lanes
  std::memcpy(half, lanes, sizeof half);
  constexpr uint64_t kLane = (uint64_t{1} << kBits) - 1;
  uint64_t even = 0;
  for (int k = 0; k < 4; ++k) {
    const int from = 2 * k * kBits;
    even |= ((half[from / 64] >> (from % 64)) & kLane) << (k * kBits);
  }
  return even;
}

}  // namespace

void reducedTransformToShort(const int16_t* coefficients, ReducedRows rows, int16_t* dst,
                             int32_t dstStep, IdctToShortFn* idct) {
  const LowFrequencies low(coefficients);
  alignas(16) int16_t full[64];
  idct(low.block, full, 8 * sizeof(int16_t));
  auto* out = reinterpret_cast<uint8_t*>(dst);
  for (int r = 0; r < static_cast<int>(rows); ++r, out += dstStep) {
    const uint64_t samples = evenLanes<16>(full + 8 * r * rowStep(rows));
    std::memcpy(out, &samples, sizeof samples);
  }
}

void reducedTransformToByte(const int16_t* coefficients, ReducedRows rows, uint8_t* dst,
                            int32_t dstStep, IdctToByteFn* idct) {
  const LowFrequencies low(coefficients);
  alignas(16) uint8_t full[64];
  idct(low.block, full, 8, 0, 0, 255);
  for (int r = 0; r < static_cast<int>(rows); ++r, dst += dstStep) {
    const auto samples = static_cast<uint32_t>(evenLanes<8>(full + 8 * r * rowStep(rows)));
    std::memcpy(dst, &samples, sizeof samples);
  }
}

}  // namespace quarlin
