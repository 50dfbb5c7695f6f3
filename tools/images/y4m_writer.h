// YUV4MPEG2 output: a stream header, then "FRAME" and the Y, Cb, Cr planes
// of each picture, 4:2:0, chroma of ceil(width / 2) x ceil(height / 2).
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/images/image_view.h"
#include "tools/images/rational.h"

namespace quarlin::tool {

struct Y4mHeader {
  uint32_t width = 0;
  uint32_t height = 0;
  Rational frameRate{25, 1};
  char interlacing = '?';     // 'p', 't', 'b' or '?'
  Rational pixelAspect{0, 0};  // 0:0 when unknown
};

// "YUV4MPEG2 W720 H576 F25:1 It A16:15 C420jpeg\n"
std::string formatY4mHeader(const Y4mHeader& header);

// Writes one picture's planes, rows cropped from their strides. Returns
// false when the stream reports a write error.
bool writePlanes(std::FILE* out, const ImageView& image);

class Y4mWriter {
 public:
  Y4mWriter(std::FILE* out, const Y4mHeader& header);
  // Writes the stream header unless written; writeFrame does so too.
  bool begin();
  // `image` must have the header's size. Returns false on a write error.
  bool writeFrame(const ImageView& image);

 private:
  std::FILE* out_;
  Y4mHeader header_;
  bool headerWritten_ = false;
};

}  // namespace quarlin::tool
