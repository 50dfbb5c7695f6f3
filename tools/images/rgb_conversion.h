// 4:2:0 Y'CbCr to 8-bit RGB with the BT.601 matrix, limited range (Y' 16..235,
// Cb and Cr 16..240), for pictures written as PNG.
#pragma once
#include <cstdint>
#include <vector>

#include "tools/images/image_view.h"

namespace quarlin::tool {

struct RgbImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;  // R, G, B per pixel, rows packed

  RgbImage() = default;
  RgbImage(uint32_t w, uint32_t h, uint8_t fill = 0) : width(w), height(h), pixels(std::size_t{w} * h * 3, fill) {}
  uint8_t* at(uint32_t x, uint32_t y) { return &pixels[(std::size_t{y} * width + x) * 3]; }
  const uint8_t* at(uint32_t x, uint32_t y) const { return &pixels[(std::size_t{y} * width + x) * 3]; }
};

// One pixel; values outside the limited range are clipped after conversion.
void yCbCrToRgb(uint8_t y, uint8_t cb, uint8_t cr, uint8_t* rgb);

// Chroma is brought to luma resolution first, at the MPEG-2 4:2:0 sample
// positions: co-sited with even luma columns (linear in between), vertically
// midway between two luma rows (weights 3/4 and 1/4).
RgbImage toRgb(const ImageView& image);

// Chroma plane upsampled to `lumaWidth` x `lumaHeight`, as toRgb uses it.
std::vector<uint8_t> upsampleChroma(const PlaneView& chroma, uint32_t lumaWidth, uint32_t lumaHeight);

}  // namespace quarlin::tool
