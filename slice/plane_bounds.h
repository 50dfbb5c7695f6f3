// Reference reads that stay inside a host plane. Conforming streams predict
// only from inside the coded picture, which every plane holds, so this slow
// path runs only for vectors of damaged streams.
#pragma once
#include <cstdint>

namespace quarlin {

// Copies a cols x rows block whose first sample lies `offset` (>= 0) bytes
// into a plane of `extent` bytes, rows `step` apart, into dst. A sample past
// the plane's end is replaced by the nearest sample above it in the same
// column that lies inside the plane (the last byte of the plane if none).
void copyBlockInsidePlane(const uint8_t* plane, int64_t extent, int64_t offset, int32_t step,
                          int32_t cols, int32_t rows, uint8_t* dst, int32_t dstStep);

}  // namespace quarlin
