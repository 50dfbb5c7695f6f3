#include "tools/images/rgb_conversion.h"

#include <algorithm>

namespace quarlin::tool {
namespace {

// BT.601 coefficients in 16.16 fixed point: 255/219 for luma, and the
// chroma weights scaled by 255/224.
constexpr int32_t kLuma = 76309;     // 1.164383
constexpr int32_t kCrToR = 104597;   // 1.596027
constexpr int32_t kCbToG = 25675;    // 0.391762
constexpr int32_t kCrToG = 53279;    // 0.812968
constexpr int32_t kCbToB = 132201;   // 2.017232
constexpr int32_t kHalf = 1 << 15;

uint8_t clip(int32_t fixed) { return static_cast<uint8_t>(std::clamp((fixed + kHalf) >> 16, 0, 255)); }

// Chroma row j lies between luma rows 2j and 2j + 1: luma row y takes 3/4 of
// its own chroma row and 1/4 of the neighbour on its side.
void verticalRow(const PlaneView& chroma, uint32_t lumaRow, uint16_t* out) {
  const uint32_t j = std::min(lumaRow / 2, chroma.height - 1);
  uint32_t neighbour = j;
  if (lumaRow % 2 == 0 && j > 0) neighbour = j - 1;
  if (lumaRow % 2 == 1 && j + 1 < chroma.height) neighbour = j + 1;
  const uint8_t* near = chroma.row(j);
  const uint8_t* far = chroma.row(neighbour);
  for (uint32_t x = 0; x < chroma.width; ++x) out[x] = static_cast<uint16_t>(3 * near[x] + far[x]);  // 0..1020
}

}  // namespace

void yCbCrToRgb(uint8_t y, uint8_t cb, uint8_t cr, uint8_t* rgb) {
  const int32_t luma = (y - 16) * kLuma;
  const int32_t u = cb - 128;
  const int32_t v = cr - 128;
  rgb[0] = clip(luma + kCrToR * v);
  rgb[1] = clip(luma - kCbToG * u - kCrToG * v);
  rgb[2] = clip(luma + kCbToB * u);
}

std::vector<uint8_t> upsampleChroma(const PlaneView& chroma, uint32_t lumaWidth, uint32_t lumaHeight) {
  std::vector<uint8_t> out(std::size_t{lumaWidth} * lumaHeight);
  if (chroma.width == 0 || chroma.height == 0) return out;
  std::vector<uint16_t> column(chroma.width);
  for (uint32_t y = 0; y < lumaHeight; ++y) {
    verticalRow(chroma, y, column.data());
    uint8_t* row = &out[std::size_t{y} * lumaWidth];
    for (uint32_t x = 0; x < lumaWidth; ++x) {
      const uint32_t i = std::min(x / 2, chroma.width - 1);
      const uint32_t next = (x % 2 == 1 && i + 1 < chroma.width) ? i + 1 : i;
      // (column[i] + column[next]) / 2 / 4, rounded: sums of 8 weights.
      row[x] = static_cast<uint8_t>((column[i] + column[next] + 4) >> 3);
    }
  }
  return out;
}

RgbImage toRgb(const ImageView& image) {
  const uint32_t w = image.y.width;
  const uint32_t h = image.y.height;
  const std::vector<uint8_t> cb = upsampleChroma(image.cb, w, h);
  const std::vector<uint8_t> cr = upsampleChroma(image.cr, w, h);
  RgbImage rgb(w, h);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const std::size_t i = std::size_t{y} * w + x;
      yCbCrToRgb(image.y.row(y)[x], cb[i], cr[i], rgb.at(x, y));
    }
  }
  return rgb;
}

}  // namespace quarlin::tool
