#include "tools/images/y4m_writer.h"

#include <stdexcept>

namespace quarlin::tool {
namespace {

// Rows are copied once, into the stream's buffer; a plane whose rows lie
// back to back goes out in one call, which the C library writes straight
// from the plane past what fits its buffer.
bool writePlane(std::FILE* out, const PlaneView& plane) {
  if (plane.stride == plane.width) {
    const std::size_t bytes = std::size_t{plane.width} * plane.height;
    return std::fwrite(plane.data, 1, bytes, out) == bytes;
  }
  for (uint32_t y = 0; y < plane.height; ++y) {
    if (std::fwrite(plane.row(y), 1, plane.width, out) != plane.width) return false;
  }
  return true;
}

std::string ratio(Rational r) { return std::to_string(r.num) + ":" + std::to_string(r.den); }

}  // namespace

std::string formatY4mHeader(const Y4mHeader& header) {
  return "YUV4MPEG2 W" + std::to_string(header.width) + " H" + std::to_string(header.height) + " F" +
         ratio(header.frameRate) + " I" + header.interlacing + " A" + ratio(header.pixelAspect) +
         " C420jpeg\n";
}

bool writePlanes(std::FILE* out, const ImageView& image) {
  return writePlane(out, image.y) && writePlane(out, image.cb) && writePlane(out, image.cr);
}

Y4mWriter::Y4mWriter(std::FILE* out, const Y4mHeader& header) : out_(out), header_(header) {}

bool Y4mWriter::begin() {
  if (headerWritten_) return true;
  const std::string text = formatY4mHeader(header_);
  if (std::fwrite(text.data(), 1, text.size(), out_) != text.size()) return false;
  headerWritten_ = true;
  return true;
}

bool Y4mWriter::writeFrame(const ImageView& image) {
  if (image.y.width != header_.width || image.y.height != header_.height) {
    throw std::logic_error("picture size differs from the stream header");
  }
  if (!begin()) return false;
  static constexpr char kFrame[] = "FRAME\n";
  if (std::fwrite(kFrame, 1, sizeof kFrame - 1, out_) != sizeof kFrame - 1) return false;
  return writePlanes(out_, image);
}

}  // namespace quarlin::tool
