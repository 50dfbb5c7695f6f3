#include "tools/images/png_writer.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace quarlin::tool {

void writePng(const std::string& path, const RgbImage& image) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = image.width;
  png.height = image.height;
  png.format = PNG_FORMAT_RGB;
  const auto rowStride = static_cast<png_int_32>(image.width * 3);
  const bool ok = path == "-"
                      ? png_image_write_to_stdio(&png, stdout, 0, image.pixels.data(), rowStride, nullptr) != 0
                      : png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(), rowStride, nullptr) != 0;
  if (!ok) {
    const std::string message = png.message;
    png_image_free(&png);
    throw std::runtime_error("cannot write PNG: " + message);
  }
}

}  // namespace quarlin::tool
