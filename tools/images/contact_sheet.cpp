#include "tools/images/contact_sheet.h"

#include <algorithm>
#include <cstring>

#include "tools/images/bitmap_font.h"

namespace quarlin::tool {
namespace {

constexpr uint32_t kGap = 4;
constexpr uint8_t kBackground = 32;
constexpr uint8_t kLabelText[3] = {255, 255, 255};
constexpr uint8_t kLabelBox[3] = {0, 0, 0};

void blit(RgbImage& sheet, const RgbImage& tile, uint32_t left, uint32_t top) {
  for (uint32_t y = 0; y < tile.height; ++y) {
    std::memcpy(sheet.at(left, top + y), tile.at(0, y), std::size_t{tile.width} * 3);
  }
}

void fillBox(RgbImage& image, uint32_t left, uint32_t top, uint32_t width, uint32_t height,
             const uint8_t colour[3]) {
  for (uint32_t y = top; y < std::min(top + height, image.height); ++y) {
    for (uint32_t x = left; x < std::min(left + width, image.width); ++x) {
      std::memcpy(image.at(x, y), colour, 3);
    }
  }
}

// A label in the cell's top-left corner on a dark box, doubled in size on
// thumbnails wide enough for it.
void drawLabel(RgbImage& sheet, const std::string& label, uint32_t left, uint32_t top, uint32_t cellWidth) {
  const uint32_t scale = cellWidth >= 200 ? 2 : 1;
  const uint32_t pad = scale;
  fillBox(sheet, left, top, textWidth(label, scale) + 2 * pad, textHeight(scale) + 2 * pad, kLabelBox);
  drawText(sheet, left + pad, top + pad, label, scale, kLabelText);
}

}  // namespace

std::vector<int32_t> spreadFrames(int32_t first, uint32_t frameCount, uint32_t count) {
  std::vector<int32_t> frames;
  if (count >= frameCount) count = frameCount;
  for (uint32_t i = 0; i < count; ++i) {
    // The middle of share i of frameCount / count frames.
    const uint64_t offset = (uint64_t{2} * i + 1) * frameCount / (uint64_t{2} * count);
    frames.push_back(first + static_cast<int32_t>(offset));
  }
  return frames;
}

RgbImage composeContactSheet(const std::vector<Thumbnail>& thumbnails, uint32_t columns) {
  columns = std::max<uint32_t>(1, std::min<uint32_t>(columns, std::max<std::size_t>(thumbnails.size(), 1)));
  uint32_t cellWidth = 1;
  uint32_t cellHeight = 1;
  for (const Thumbnail& thumbnail : thumbnails) {
    cellWidth = std::max(cellWidth, thumbnail.image.width);
    cellHeight = std::max(cellHeight, thumbnail.image.height);
  }
  const uint32_t rows = std::max<uint32_t>(1, static_cast<uint32_t>((thumbnails.size() + columns - 1) / columns));
  RgbImage sheet(columns * (cellWidth + kGap) + kGap, rows * (cellHeight + kGap) + kGap, kBackground);
  for (std::size_t i = 0; i < thumbnails.size(); ++i) {
    const uint32_t left = kGap + static_cast<uint32_t>(i % columns) * (cellWidth + kGap);
    const uint32_t top = kGap + static_cast<uint32_t>(i / columns) * (cellHeight + kGap);
    blit(sheet, thumbnails[i].image, left, top);
    drawLabel(sheet, thumbnails[i].label, left, top, cellWidth);
  }
  return sheet;
}

}  // namespace quarlin::tool
