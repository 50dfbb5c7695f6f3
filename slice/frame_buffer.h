// The description of one picture's Y, Cb and Cr planes over a host PlaneSet,
// through which the decoders read references and write the output. It never
// owns memory.
//
// Layout: luma sample (x, y) at yPlane + y * lumaStride + x; chroma stride
// ((lumaStride >> 1) + 127) & ~127. At the reduced scales every plane is
// addressed with the reduced strides of reducedLumaStride/reducedChromaStride.
#pragma once
#include <cstdint>

#include "quarlin/quarlin.h"

namespace quarlin {

struct FrameBuffer {
  int32_t width = 0;       // coded horizontal_size
  int32_t height = 0;      // coded vertical_size
  int32_t lumaStride = 0;  // (width + 127) & ~127
  uint8_t* yPlane = nullptr;
  uint8_t* cbPlane = nullptr;
  uint8_t* crPlane = nullptr;

  int32_t chromaStride() const { return ((lumaStride >> 1) + 127) & ~127; }
};

inline int32_t roundUp128(int32_t v) { return (v + 127) & ~127; }
// Strides used at HalfWidth and Quarter scale.
inline int32_t reducedLumaStride(int32_t frameLumaStride) { return roundUp128(frameLumaStride / 2); }
inline int32_t reducedChromaStride(int32_t frameLumaStride) { return roundUp128(frameLumaStride / 4); }

inline FrameBuffer frameBufferOver(const PlaneSet* planes, int32_t width, int32_t height,
                                   int32_t stride) {
  FrameBuffer f;
  f.width = width;
  f.height = height;
  f.lumaStride = stride;
  if (planes) {
    f.yPlane = planes->y.address;
    f.cbPlane = planes->cb.address;
    f.crPlane = planes->cr.address;
  }
  return f;
}

}  // namespace quarlin
