#include "slice/plane_bounds.h"

namespace quarlin {

namespace {

int64_t clampTo(int64_t v, int64_t low, int64_t high) { return v < low ? low : (v > high ? high : v); }

}  // namespace

void copyBlockInsideArea(const CodedArea& area, int64_t x, int64_t y, int32_t lineStep, int32_t cols,
                         int32_t rows, uint8_t* dst, int32_t dstStep) {
  // The first and last lines of the area in the field of line y (every
  // line when lineStep is 1).
  const int64_t parity = lineStep == 2 ? (y % 2 + 2) % 2 : 0;
  const int64_t lastLine = area.lines - 1;
  const int64_t high = lineStep == 2 ? lastLine - ((lastLine - parity) & 1) : lastLine;
  for (int32_t r = 0; r < rows; ++r) {
    const int64_t line = clampTo(y + int64_t{r} * lineStep, parity, high);
    const uint8_t* row = area.plane + line * area.stride;
    for (int32_t c = 0; c < cols; ++c) dst[r * dstStep + c] = row[clampTo(x + c, 0, area.width - 1)];
  }
}

}  // namespace quarlin
