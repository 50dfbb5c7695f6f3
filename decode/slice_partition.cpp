#include "decode/slice_partition.h"

namespace quarlin {

int32_t slicePartCount(bool oneSlicePerRow, int32_t maxParts, int32_t workerCount) {
  if (!oneSlicePerRow) return 1;
  const int32_t parts = maxParts < workerCount ? maxParts : workerCount;
  return parts < 1 ? 1 : parts;
}

void partitionSlices(int32_t sliceCount, int32_t parts, int32_t* sliceStart, int32_t* sliceTotal) {
  const int32_t q = sliceCount / parts;
  for (int32_t k = 0; k < parts; ++k) {
    sliceStart[k] = k * q;
    sliceTotal[k] = q;
  }
  sliceTotal[parts - 1] = sliceCount - q * (parts - 1);
}

}  // namespace quarlin
