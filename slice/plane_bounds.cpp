#include "slice/plane_bounds.h"

namespace quarlin {

void copyBlockInsidePlane(const uint8_t* plane, int64_t extent, int64_t offset, int32_t step,
                          int32_t cols, int32_t rows, uint8_t* dst, int32_t dstStep) {
  for (int32_t y = 0; y < rows; ++y) {
    for (int32_t x = 0; x < cols; ++x) {
      int64_t at = offset + static_cast<int64_t>(y) * step + x;
      if (at >= extent) at -= ((at - extent) / step + 1) * step;  // whole rows up
      if (at < 0 || at >= extent) at = extent - 1;
      dst[y * dstStep + x] = plane[at];
    }
  }
}

}  // namespace quarlin
