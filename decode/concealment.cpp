#include "decode/concealment.h"

#include <cstring>

#include "parse/headers.h"

namespace quarlin {

namespace {

constexpr uint8_t kMidGrey = 128;

// One plane of the picture at the request's scale.
struct PlaneGeometry {
  int32_t blockWidth;   // samples of one macroblock
  int32_t blockHeight;  // lines of one macroblock
  int32_t lineStep;     // between lines of the picture (of the field)
  int32_t origin;       // of the picture's first line (the bottom field starts one frame line down)
  int32_t otherOrigin;  // field pictures: of the other field's first line
};

PlaneGeometry geometryOf(const ConcealedPicture& p, const FrameBuffer& output, int plane) {
  const bool luma = plane == 0;
  const bool full = p.scale == DecodeScale::Full;
  const int32_t stride = full ? (luma ? output.lumaStride : output.chromaStride())
                              : (luma ? reducedLumaStride(output.lumaStride) : reducedChromaStride(output.lumaStride));
  PlaneGeometry g;
  g.blockWidth = (luma ? 16 : 8) / (full ? 1 : 2);
  g.blockHeight = (luma ? 16 : 8) / (p.scale == DecodeScale::Quarter ? 2 : 1);
  const bool field = p.pictureStructure != kFramePicture;
  g.lineStep = field ? 2 * stride : stride;
  g.origin = p.pictureStructure == kBottomField ? stride : 0;
  g.otherOrigin = field ? stride - g.origin : 0;
  return g;
}

uint8_t* planeOf(const FrameBuffer& f, int plane) { return plane == 0 ? f.yPlane : plane == 1 ? f.cbPlane : f.crPlane; }

// The reference the concealed macroblocks are copied from, null when the
// picture has none (or only the output itself).
const FrameBuffer* referenceOf(const ConcealedPicture& p, const FrameBuffer& forward, const FrameBuffer& backward) {
  if (p.pictureCodingType != kPictureP && p.pictureCodingType != kPictureB) return nullptr;
  if (forward.yPlane) return &forward;
  if (p.pictureCodingType == kPictureB && backward.yPlane) return &backward;
  return nullptr;
}

void copyBlock(uint8_t* to, const uint8_t* from, const PlaneGeometry& g) {
  if (to == from) return;
  for (int32_t line = 0; line < g.blockHeight; ++line)
    std::memcpy(to + int64_t{line} * g.lineStep, from + int64_t{line} * g.lineStep, static_cast<size_t>(g.blockWidth));
}

void fillBlock(uint8_t* to, const PlaneGeometry& g) {
  for (int32_t line = 0; line < g.blockHeight; ++line)
    std::memset(to + int64_t{line} * g.lineStep, kMidGrey, static_cast<size_t>(g.blockWidth));
}

}  // namespace

int32_t concealMissingMacroblocks(const ConcealedPicture& p, const FrameBuffer& forward, const FrameBuffer& backward,
                                  const FrameBuffer& output) {
  if (!p.decoded || !output.yPlane || !output.cbPlane || !output.crPlane) return 0;
  const FrameBuffer* reference = referenceOf(p, forward, backward);
  if (reference && (!reference->cbPlane || !reference->crPlane)) reference = nullptr;
  // A second field whose reference is the output reads the first field.
  const bool fromFirstField = reference && reference->yPlane == output.yPlane &&
                              p.pictureStructure != kFramePicture && p.secondField;
  const PlaneGeometry geometry[3] = {geometryOf(p, output, 0), geometryOf(p, output, 1), geometryOf(p, output, 2)};
  int32_t concealed = 0;
  for (int32_t row = 0; row < p.mbRows; ++row) {
    // Most rows were decoded whole: one search finds that.
    if (!std::memchr(p.decoded + int64_t{row} * p.mbWidth, 0, static_cast<size_t>(p.mbWidth))) continue;
    for (int32_t column = 0; column < p.mbWidth; ++column) {
      if (p.decoded[row * p.mbWidth + column]) continue;
      ++concealed;
      for (int plane = 0; plane < 3; ++plane) {
        const PlaneGeometry& g = geometry[plane];
        const int64_t position = int64_t{row} * g.blockHeight * g.lineStep + int64_t{column} * g.blockWidth;
        uint8_t* to = planeOf(output, plane) + g.origin + position;
        if (fromFirstField)
          copyBlock(to, planeOf(output, plane) + g.otherOrigin + position, g);
        else if (reference)
          copyBlock(to, planeOf(*reference, plane) + g.origin + position, g);
        else if (row > 0)  // concealed already when it was not decoded
          copyBlock(to, to - int64_t{g.blockHeight} * g.lineStep, g);
        else
          fillBlock(to, g);
      }
    }
  }
  return concealed;
}

}  // namespace quarlin
