#include "tools/images/image_view.h"

namespace quarlin::tool {

uint32_t chromaSize(uint32_t lumaSize) { return (lumaSize + 1) / 2; }

YuvImage::YuvImage(uint32_t width, uint32_t height) : width_(width), height_(height) {
  planes_[0].resize(std::size_t{width} * height);
  planes_[1].resize(std::size_t{chromaSize(width)} * chromaSize(height));
  planes_[2].resize(planes_[1].size());
}

ImageView YuvImage::view() const {
  const uint32_t cw = chromaSize(width_);
  const uint32_t ch = chromaSize(height_);
  return ImageView{PlaneView{planes_[0].data(), width_, width_, height_},
                   PlaneView{planes_[1].data(), cw, cw, ch},
                   PlaneView{planes_[2].data(), cw, cw, ch}};
}

}  // namespace quarlin::tool
