#include "slice/motion_vectors.h"

namespace quarlin {

void dualPrimeVector(const int16_t sameParity[2], int32_t m, int32_t e, const int32_t dmvector[2],
                     int16_t derived[2]) {
  for (int t = 0; t < 2; ++t) {
    const int32_t v = sameParity[t];
    // (v * m) / 2 rounded away from zero: the arithmetic shift floors, so a
    // positive product gets +1 first.
    int32_t scaled = (v * m + (v > 0 ? 1 : 0)) >> 1;
    scaled += dmvector[t] + (t == 1 ? e : 0);
    derived[t] = static_cast<int16_t>(scaled);
  }
}

int32_t dualPrimeFrameScale(int32_t parityRef, int32_t parityPred, int32_t topFieldFirst) {
  if (parityRef == parityPred) return 2;
  // The opposite-parity reference field lies one field period from the
  // predicted field when it was displayed later in its frame, three when
  // earlier (ISO/IEC 13818-2 Table 7-11).
  const bool nearField = topFieldFirst ? (parityRef == 1) : (parityRef == 0);
  return nearField ? 1 : 3;
}

}  // namespace quarlin
