// A 5x7 bitmap font for frame labels: digits, the picture-type letters
// I, P, B, D, '?', '-' and space.
#pragma once
#include <cstdint>
#include <string>

#include "tools/images/rgb_conversion.h"

namespace quarlin::tool {

inline constexpr uint32_t kGlyphWidth = 5;
inline constexpr uint32_t kGlyphHeight = 7;
inline constexpr uint32_t kGlyphAdvance = 6;  // one column of space between glyphs

// Seven rows, bit 4 the leftmost column; null for characters the font lacks
// (they are drawn as '?').
const uint8_t* glyphRows(char c);

// Width and height in pixels of `text` drawn at `scale` (1..8).
uint32_t textWidth(const std::string& text, uint32_t scale);
uint32_t textHeight(uint32_t scale);

// Draws `text` with its top-left corner at (x, y), each font pixel a
// scale x scale square; whatever falls outside the image is clipped.
void drawText(RgbImage& image, uint32_t x, uint32_t y, const std::string& text, uint32_t scale,
              const uint8_t colour[3]);

}  // namespace quarlin::tool
