// Non-owning views of 8-bit planes and of a 4:2:0 picture made of them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarlin::tool {

struct PlaneView {
  const uint8_t* data = nullptr;
  std::size_t stride = 0;  // bytes between rows, >= width
  uint32_t width = 0;
  uint32_t height = 0;

  const uint8_t* row(uint32_t y) const { return data + y * stride; }
};

// A 4:2:0 picture: chroma planes of ceil(width / 2) x ceil(height / 2).
struct ImageView {
  PlaneView y;
  PlaneView cb;
  PlaneView cr;
};

// A 4:2:0 picture with tightly packed planes of its own.
class YuvImage {
 public:
  YuvImage(uint32_t width, uint32_t height);

  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }
  uint8_t* plane(int index) { return planes_[index].data(); }
  ImageView view() const;

 private:
  uint32_t width_;
  uint32_t height_;
  std::vector<uint8_t> planes_[3];
};

uint32_t chromaSize(uint32_t lumaSize);  // ceil(lumaSize / 2)

}  // namespace quarlin::tool
