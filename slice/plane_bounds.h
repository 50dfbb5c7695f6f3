// Reference reads that reach outside the coded picture. Conforming streams
// predict only from inside it (ISO/IEC 13818-2 7.6.3.2), so this slow path
// runs only for vectors of damaged streams; what lies outside (the planes'
// padding, which no decoder writes) is never read, so the prediction
// depends only on the reference picture.
#pragma once
#include <cstdint>

namespace quarlin {

// The coded area of one plane: `width` samples by `lines` lines, `stride`
// bytes apart.
struct CodedArea {
  const uint8_t* plane;
  int32_t stride;
  int32_t width;
  int32_t lines;
};

// Copies a cols x rows block whose first sample is (x, y), rows `lineStep`
// lines apart (1, or 2 for the lines of one field), into dst. A sample
// outside the area is replaced by the nearest one inside it on the same
// row, and on the nearest line of the same field.
void copyBlockInsideArea(const CodedArea& area, int64_t x, int64_t y, int32_t lineStep, int32_t cols,
                         int32_t rows, uint8_t* dst, int32_t dstStep);

}  // namespace quarlin
