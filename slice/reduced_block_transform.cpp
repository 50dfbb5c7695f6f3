#include "slice/reduced_block_transform.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "primitives/primitives.h"

namespace quarlin {
namespace {

// Fixed point: the horizontal pass uses weights scaled by 2^16 and keeps its
// results with 8 fractional bits; the vertical pass uses weights scaled by
// 2^16. The two passes split the 1/8 of the DC path as 2*sqrt(2) * 1/(4*sqrt(2))
// so that both DC weights are powers of two and a DC-only block is exact
// before the final rounding.
constexpr int kRowBits = 16;
constexpr int kFractionBits = 8;
constexpr int kColumnBits = 16;
constexpr int kFinalShift = kColumnBits + kFractionBits;

struct Weights {
  // row[i][u]: sqrt(2) * C(u) * cos((4i + 1) u pi / 16), output column 2i.
  int32_t row[4][4];
  // column[j][v]: C(v) * cos((2j + 1) v pi / 16) / (4 sqrt(2)), output row j.
  int32_t column[8][8];
};

Weights makeWeights() {
  Weights w{};
  const double pi = std::acos(-1.0);
  for (int i = 0; i < 4; ++i)
    for (int u = 0; u < 4; ++u) {
      const double c = u == 0 ? 1.0 : std::sqrt(2.0) * std::cos((4 * i + 1) * u * pi / 16.0);
      w.row[i][u] = static_cast<int32_t>(std::lround(c * (1 << kRowBits)));
    }
  for (int j = 0; j < 8; ++j)
    for (int v = 0; v < 8; ++v) {
      const double c = v == 0 ? 1.0 / 8.0 : std::cos((2 * j + 1) * v * pi / 16.0) / (4.0 * std::sqrt(2.0));
      w.column[j][v] = static_cast<int32_t>(std::lround(c * (1 << kColumnBits)));
    }
  return w;
}

const Weights& weights() {
  static const Weights w = makeWeights();
  return w;
}

// Horizontal pass over the 8 coefficient rows: out[v][i] = sum over u < 4 of
// row[i][u] * F(u, v), with 8 fractional bits, saturated to the 16-bit range
// of the intermediate value.
void horizontalPass(const int16_t* coefficients, const Weights& w, int32_t out[8][4]) {
  constexpr int64_t kLimit = int64_t{32767} << kFractionBits;
  for (int v = 0; v < 8; ++v) {
    const int16_t* f = coefficients + 8 * v;
    if ((f[0] | f[1] | f[2] | f[3]) == 0) {
      out[v][0] = out[v][1] = out[v][2] = out[v][3] = 0;
      continue;
    }
    for (int i = 0; i < 4; ++i) {
      int64_t sum = int64_t{w.row[i][0]} * f[0] + int64_t{w.row[i][1]} * f[1] +
                    int64_t{w.row[i][2]} * f[2] + int64_t{w.row[i][3]} * f[3];
      sum = (sum + (int64_t{1} << (kRowBits - kFractionBits - 1))) >> (kRowBits - kFractionBits);
      out[v][i] = static_cast<int32_t>(std::clamp(sum, -kLimit - (int64_t{1} << kFractionBits), kLimit));
    }
  }
}

// Vertical pass for output row j (frame row j of the 8x8 block), rounded to
// the nearest integer, halves up.
inline int32_t verticalSample(const int32_t in[8][4], const Weights& w, int j, int i) {
  int64_t sum = 0;
  for (int v = 0; v < 8; ++v) sum += int64_t{w.column[j][v]} * in[v][i];
  sum = (sum + (int64_t{1} << (kFinalShift - 1))) >> kFinalShift;
  return static_cast<int32_t>(std::clamp<int64_t>(sum, -32768, 32767));
}

// True when every coefficient but the DC is zero.
bool onlyDc(const int16_t* coefficients) {
  uint64_t rest = 0;
  for (int i = 0; i < 64; i += 4) {
    uint64_t four;
    std::memcpy(&four, coefficients + i, 8);
    rest |= i == 0 ? four >> 16 : four;  // little-endian: drops coefficient 0
  }
  return rest == 0;
}

// A block holding only its DC coefficient is one value everywhere; it is
// taken from the full-size inverse DCT, so that a flat area has the same
// level at every scale (this transform's own rounding of F / 8 differs from
// the full transform's for some DC values).
int32_t dcValue(int16_t dc, IdctToShortFn* idct) {
  alignas(16) Ipp16s block[64] = {};
  alignas(16) Ipp16s out[64];
  block[0] = dc;
  idct(block, out, 16);
  return out[0];
}

template <class Store>
void transform(const int16_t* coefficients, ReducedRows rows, IdctToShortFn* idct, Store store) {
  const int rowStep = rows == ReducedRows::Eight ? 1 : 2;
  const int count = static_cast<int>(rows);
  if (onlyDc(coefficients)) {
    const int32_t value = dcValue(coefficients[0], idct);
    for (int r = 0; r < count; ++r)
      for (int i = 0; i < 4; ++i) store(r, i, value);
    return;
  }
  const Weights& w = weights();
  int32_t horizontal[8][4];
  horizontalPass(coefficients, w, horizontal);
  for (int r = 0; r < count; ++r)
    for (int i = 0; i < 4; ++i) store(r, i, verticalSample(horizontal, w, r * rowStep, i));
}

}  // namespace

void reducedTransformToShort(const int16_t* coefficients, ReducedRows rows, int16_t* dst,
                             int32_t dstStep, IdctToShortFn* idct) {
  auto* base = reinterpret_cast<uint8_t*>(dst);
  transform(coefficients, rows, idct, [&](int r, int i, int32_t value) {
    reinterpret_cast<int16_t*>(base + r * dstStep)[i] = static_cast<int16_t>(value);
  });
}

void reducedTransformToByte(const int16_t* coefficients, ReducedRows rows, uint8_t* dst,
                            int32_t dstStep, IdctToShortFn* idct) {
  transform(coefficients, rows, idct, [&](int r, int i, int32_t value) {
    dst[r * dstStep + i] = static_cast<uint8_t>(std::clamp(value, 0, 255));
  });
}

}  // namespace quarlin
