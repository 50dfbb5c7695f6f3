// PNG output through libpng.
#pragma once
#include <string>

#include "tools/images/rgb_conversion.h"

namespace quarlin::tool {

// Writes `image` as an 8-bit RGB PNG to `path` ("-" for standard output).
// Throws std::runtime_error with libpng's message on failure.
void writePng(const std::string& path, const RgbImage& image);

}  // namespace quarlin::tool
