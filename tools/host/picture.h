// One decoded frame in planes laid out for Quarlin_GetFrame.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "quarlin/quarlin.h"
#include "tools/images/image_view.h"
#include "tools/host/plane_layout.h"

namespace quarlin::tool {

// Where a picture's planes come from: storage of `bytes` bytes that stays
// valid while the returned pointer is held. When none is given, planes are
// 128-byte aligned heap blocks.
using PlaneAllocator = std::function<std::shared_ptr<uint8_t>(std::size_t bytes)>;

class Picture {
 public:
  Picture(const PlaneLayout& layout, DecodeScale scale, const PlaneAllocator& allocate = {});

  DecodeScale scale() const { return scale_; }
  const PlaneLayout& layout() const { return layout_; }
  uint8_t* plane(int index) { return planes_[index].get(); }  // 0 Y, 1 Cb, 2 Cr
  const uint8_t* plane(int index) const { return planes_[index].get(); }
  std::size_t planeBytes(int index) const;
  std::size_t totalBytes() const;

  // The record Quarlin_GetFrame reads (only the three addresses are set).
  PlaneSet planeSet() const;
  // The picture area, cropped from the strided planes.
  ImageView view() const;
  // Black (Y 16, Cb and Cr 128) everywhere: the starting contents when the
  // decoder is told to predict from the output planes themselves.
  void fillBlack();

 private:
  PlaneLayout layout_;
  DecodeScale scale_;
  std::shared_ptr<uint8_t> planes_[3];
};

}  // namespace quarlin::tool
