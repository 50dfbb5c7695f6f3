#include "tools/images/image_scaling.h"

#include <algorithm>

namespace quarlin::tool {
namespace {

void reducePlane(const PlaneView& in, uint8_t* out, uint32_t outWidth, uint32_t outHeight, uint32_t fx,
                 uint32_t fy) {
  for (uint32_t oy = 0; oy < outHeight; ++oy) {
    const uint32_t y0 = oy * fy;
    const uint32_t y1 = std::min(y0 + fy, in.height);
    for (uint32_t ox = 0; ox < outWidth; ++ox) {
      const uint32_t x0 = ox * fx;
      const uint32_t x1 = std::min(x0 + fx, in.width);
      uint32_t sum = 0;  // at most 256 samples of 255: fits easily
      for (uint32_t y = y0; y < y1; ++y) {
        for (uint32_t x = x0; x < x1; ++x) sum += in.row(y)[x];
      }
      const uint32_t count = (y1 - y0) * (x1 - x0);
      out[std::size_t{oy} * outWidth + ox] = static_cast<uint8_t>((sum + count / 2) / count);
    }
  }
}

uint32_t ceilDiv(uint32_t value, uint32_t divisor) { return (value + divisor - 1) / divisor; }

}  // namespace

YuvImage reduceImage(const ImageView& image, uint32_t factorX, uint32_t factorY) {
  YuvImage out(ceilDiv(image.y.width, factorX), ceilDiv(image.y.height, factorY));
  const ImageView target = out.view();
  reducePlane(image.y, out.plane(0), target.y.width, target.y.height, factorX, factorY);
  reducePlane(image.cb, out.plane(1), target.cb.width, target.cb.height, factorX, factorY);
  reducePlane(image.cr, out.plane(2), target.cr.width, target.cr.height, factorX, factorY);
  return out;
}

}  // namespace quarlin::tool
