// A contact sheet: thumbnails of frames spread over a file, in a grid, each
// labelled with its frame number and picture type.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/images/rgb_conversion.h"

namespace quarlin::tool {

struct Thumbnail {
  RgbImage image;
  std::string label;  // e.g. "120 I"
};

// `count` frame numbers spread evenly over first .. first + frameCount - 1,
// each the middle of its share; all of them when count >= frameCount.
std::vector<int32_t> spreadFrames(int32_t first, uint32_t frameCount, uint32_t count);

// Thumbnails left to right, top to bottom, `columns` wide (at least 1), in
// cells of the largest thumbnail's size with a gap between them.
RgbImage composeContactSheet(const std::vector<Thumbnail>& thumbnails, uint32_t columns);

}  // namespace quarlin::tool
