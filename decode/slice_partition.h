// How a frame picture's slices are cut into runs for the slice workers.
// Parallel decoding is attempted only for pictures with one slice per
// macroblock row, so contiguous runs of slices are runs of whole rows and
// every row is written by exactly one worker.
#pragma once
#include <cstdint>

namespace quarlin {

// Number of parts a frame picture is split into: 1 unless its slices lie
// one per macroblock row; then the smaller of the session's maxParts and the
// pool's workerCount (at least 1, so an absent pool means sequential).
int32_t slicePartCount(bool oneSlicePerRow, int32_t maxParts, int32_t workerCount);

// Cuts slices 0 .. sliceCount - 1 into `parts` contiguous runs (parts >= 1):
// with q = sliceCount / parts, run k starts at k * q and holds q slices; the
// last run also takes the remainder, sliceCount - q * (parts - 1). With fewer
// slices than parts q is 0: every run but the last is empty.
void partitionSlices(int32_t sliceCount, int32_t parts, int32_t* sliceStart, int32_t* sliceTotal);

}  // namespace quarlin
