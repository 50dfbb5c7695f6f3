// Motion-vector arithmetic of ISO/IEC 13818-2 7.6.3: reconstruction from
// motion_code and motion_residual, the wrap into the f_code range, the
// dual-prime derived vectors, and the conversion of a vector (half samples)
// into a sample offset and half-sample type at each decode scale.
#pragma once
#include <cstdint>

#include "slice/slice_context.h"

namespace quarlin {

// delta of 7.6.3.1 for a decoded motion_code (-16..16), its motion_residual
// (r_size bits, 0 when absent: always with r_size 0) and r_size = f_code - 1
// (0..14). Inline and without branches: it runs for every vector component
// of the macroblock layer, and the sign and zero tests would follow the data.
inline int32_t motionDelta(int32_t motionCode, int32_t motionResidual, int32_t rSize) {
  // |delta| = ((|code| - 1) << r_size) + residual + 1, up to 16 << 14; with
  // r_size 0 that is |code|. Unsigned: the shift of -1 for code 0 is masked.
  const int32_t sign = motionCode >> 31;  // 0 or -1
  const uint32_t magnitude =
      ((static_cast<uint32_t>((motionCode ^ sign) - sign) - 1u) << rSize) + static_cast<uint32_t>(motionResidual) + 1u;
  const uint32_t delta = (magnitude ^ static_cast<uint32_t>(sign)) - static_cast<uint32_t>(sign);
  return static_cast<int32_t>(delta & (0u - static_cast<uint32_t>(motionCode != 0)));
}

// prediction + delta brought back into [-16f, 16f - 1], f = 1 << rSize.
inline int32_t wrapVector(int32_t value, int32_t rSize) {
  const int32_t f = 1 << rSize;
  if (value < -16 * f) return value + 32 * f;
  if (value > 16 * f - 1) return value - 32 * f;
  return value;
}

// One dual-prime derived vector (7.6.3.6): the transmitted same-parity vector
// (half samples, field lines) scaled by m/2 with rounding away from zero,
// plus the differential dmvector and, vertically, the field-offset
// correction e (-1, 0 or +1).
void dualPrimeVector(const int16_t sameParity[2], int32_t m, int32_t e, const int32_t dmvector[2],
                     int16_t derived[2]);

// Dual-prime scale factors m[parity_ref][parity_pred] and corrections
// e[parity_ref][parity_pred] (0 top, 1 bottom) for frame pictures; in field
// pictures m is 1 and e the same.
int32_t dualPrimeFrameScale(int32_t parityRef, int32_t parityPred, int32_t topFieldFirst);
inline int32_t dualPrimeCorrection(int32_t parityRef, int32_t parityPred) {
  return parityRef == parityPred ? 0 : (parityRef == 1 ? -1 : 1);
}

// Integer offset and half-sample type (8 horizontal half, 4 vertical half) of
// a vector in half samples.
struct SampleOffset {
  int32_t x, y, type;
};
inline SampleOffset sampleOffset(int32_t vx, int32_t vy) {
  return SampleOffset{vx >> 1, vy >> 1, 8 * (vx & 1) + 4 * (vy & 1)};
}

// Luma and chroma offsets of a luma vector at a decode scale. Full: chroma
// vector = v / 2 (toward zero, 4:2:0). HalfWidth: v_x / 2 toward zero,
// chroma = scaled >> 1. Quarter: both components / 2 toward zero, chroma =
// scaled >> 1.
template <DecodeScale S>
inline SampleOffset lumaOffsetAt(int32_t vx, int32_t vy) {
  if constexpr (S == DecodeScale::Full) return sampleOffset(vx, vy);
  if constexpr (S == DecodeScale::HalfWidth) return sampleOffset(vx / 2, vy);
  if constexpr (S == DecodeScale::Quarter) return sampleOffset(vx / 2, vy / 2);
}

template <DecodeScale S>
inline SampleOffset chromaOffsetAt(int32_t vx, int32_t vy) {
  if constexpr (S == DecodeScale::Full) return sampleOffset(vx / 2, vy / 2);
  if constexpr (S == DecodeScale::HalfWidth) return sampleOffset((vx / 2) >> 1, vy >> 1);
  if constexpr (S == DecodeScale::Quarter) return sampleOffset((vx / 2) >> 1, (vy / 2) >> 1);
}

}  // namespace quarlin
