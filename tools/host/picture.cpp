#include "tools/host/picture.h"

#include <cstring>
#include <new>

namespace quarlin::tool {
namespace {

// Rows are 128-byte multiples apart; starting each plane on a 128-byte
// boundary keeps every row start aligned for vector loads and stores.
constexpr std::align_val_t kPlaneAlignment{128};

std::shared_ptr<uint8_t> allocatePlane(std::size_t bytes) {
  return std::shared_ptr<uint8_t>(static_cast<uint8_t*>(::operator new[](bytes, kPlaneAlignment)),
                                  [](uint8_t* p) { ::operator delete[](p, kPlaneAlignment); });
}

}  // namespace

Picture::Picture(const PlaneLayout& layout, DecodeScale scale, const PlaneAllocator& allocate)
    : layout_(layout), scale_(scale) {
  for (int p = 0; p < 3; ++p) planes_[p] = (allocate ? allocate : allocatePlane)(planeBytes(p));
}

std::size_t Picture::planeBytes(int index) const {
  return index == 0 ? layout_.lumaBytes : layout_.chromaBytes;
}

std::size_t Picture::totalBytes() const { return layout_.lumaBytes + 2 * layout_.chromaBytes; }

PlaneSet Picture::planeSet() const {
  PlaneSet set{};
  set.y.address = planes_[0].get();
  set.cb.address = planes_[1].get();
  set.cr.address = planes_[2].get();
  return set;
}

ImageView Picture::view() const {
  const uint32_t w = layout_.pictureWidth;
  const uint32_t h = layout_.pictureHeight;
  return ImageView{PlaneView{planes_[0].get(), layout_.lumaStride, w, h},
                   PlaneView{planes_[1].get(), layout_.chromaStride, chromaSize(w), chromaSize(h)},
                   PlaneView{planes_[2].get(), layout_.chromaStride, chromaSize(w), chromaSize(h)}};
}

void Picture::fillBlack() {
  std::memset(planes_[0].get(), 16, layout_.lumaBytes);
  std::memset(planes_[1].get(), 128, layout_.chromaBytes);
  std::memset(planes_[2].get(), 128, layout_.chromaBytes);
}

}  // namespace quarlin::tool
