#include "tools/images/bitmap_font.h"

namespace quarlin::tool {
namespace {

struct Glyph {
  char c;
  uint8_t rows[kGlyphHeight];
};

constexpr Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'?', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04}}, {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {' ', {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
};

void fillSquare(RgbImage& image, uint32_t x, uint32_t y, uint32_t size, const uint8_t colour[3]) {
  for (uint32_t dy = 0; dy < size && y + dy < image.height; ++dy) {
    for (uint32_t dx = 0; dx < size && x + dx < image.width; ++dx) {
      uint8_t* pixel = image.at(x + dx, y + dy);
      pixel[0] = colour[0], pixel[1] = colour[1], pixel[2] = colour[2];
    }
  }
}

}  // namespace

const uint8_t* glyphRows(char c) {
  for (const Glyph& glyph : kGlyphs) {
    if (glyph.c == c) return glyph.rows;
  }
  return nullptr;
}

uint32_t textWidth(const std::string& text, uint32_t scale) {
  return text.empty() ? 0 : (static_cast<uint32_t>(text.size()) * kGlyphAdvance - 1) * scale;
}

uint32_t textHeight(uint32_t scale) { return kGlyphHeight * scale; }

void drawText(RgbImage& image, uint32_t x, uint32_t y, const std::string& text, uint32_t scale,
              const uint8_t colour[3]) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const uint8_t* rows = glyphRows(text[i]);
    if (!rows) rows = glyphRows('?');
    const uint32_t left = x + static_cast<uint32_t>(i) * kGlyphAdvance * scale;
    for (uint32_t row = 0; row < kGlyphHeight; ++row) {
      for (uint32_t column = 0; column < kGlyphWidth; ++column) {
        if (rows[row] & (0x10u >> column)) fillSquare(image, left + column * scale, y + row * scale, scale, colour);
      }
    }
  }
}

}  // namespace quarlin::tool
