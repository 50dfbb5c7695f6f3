// PNG output in a build without libpng.
#include <stdexcept>

#include "tools/images/png_writer.h"

namespace quarlin::tool {

void writePng(const std::string&, const RgbImage&) {
  throw std::runtime_error("cannot write PNG: this build of quarlin has no PNG support (write Y4M or YUV)");
}

}  // namespace quarlin::tool
