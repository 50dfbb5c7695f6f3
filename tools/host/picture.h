// One decoded frame in planes laid out for Quarlin_GetFrame.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "quarlin/quarlin.h"
#include "tools/images/image_view.h"
#include "tools/host/plane_layout.h"

namespace quarlin::tool {

class Picture {
 public:
  Picture(const PlaneLayout& layout, DecodeScale scale);

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
  struct AlignedDelete {
    void operator()(uint8_t* p) const;
  };
  PlaneLayout layout_;
  DecodeScale scale_;
  std::unique_ptr<uint8_t[], AlignedDelete> planes_[3];
};

}  // namespace quarlin::tool
