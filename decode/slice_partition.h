// How a picture's slices are cut into runs for the slice workers. A run is a
// run of whole macroblock rows: every slice goes with the row it starts in
// (slice_vertical_position), so each row is written by exactly one worker,
// which decodes the row's slices in stream order. Slices never reach beyond
// their own row, so the rows of a frame picture, or of a field picture, can
// be decoded apart.
#pragma once
#include <cstdint>

#include "parse/stream_buffer.h"

namespace quarlin {

// Number of workers a picture may be shared among: the smaller of the
// session's maxParts and the pool's workerCount, at least 1 (an absent pool
// means sequential).
int32_t slicePartCount(int32_t maxParts, int32_t workerCount);

// Cuts the slices of `unit` from its cursor on into `parts` runs (parts >= 1)
// of whole rows, taken in the order they come, whose costs fall linearly
// from the first run to the last (the threads take the short last runs as
// they come free, and so end together): a row costs its coded bytes plus
// the mean coded bytes of a row. A run may be
// empty (always when there are fewer rows than parts). Run k holds
// sliceTotal[k] slices from the one with ordinal sliceStart[k], counted from
// the unit's first slice as makeSliceView counts. False, with nothing cut,
// when no slice follows the cursor or a row comes back after another row
// (reordered or damaged data, whose overwrites only the stream order decides).
bool partitionRows(const StreamBuffer& unit, int32_t parts, int32_t* sliceStart, int32_t* sliceTotal);

}  // namespace quarlin
