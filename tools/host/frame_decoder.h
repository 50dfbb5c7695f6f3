// What the frame server needs from a decoder: the two frame calls of the
// library (Quarlin_GetFrameDependancies and Quarlin_GetFrame), behind an
// interface so that the server can be exercised without the library.
#pragma once
#include <cstdint>

#include "quarlin/quarlin.h"
#include "tools/host/plane_layout.h"

namespace quarlin::tool {

class FrameDecoder {
 public:
  virtual ~FrameDecoder() = default;

  // The frames `frame` is predicted from, -1 where it has none. Returns the
  // library's result: 0, or -5 when `frame` is not in the index.
  virtual int32_t dependencies(int32_t frame, int32_t& forward, int32_t& backward) = 0;

  // Decodes `frame` into `output` at `scale`, predicting from `forward` and
  // `backward` (a null forward Y address means: predict from `output`).
  // Returns the library's result, 0 on success.
  virtual int32_t decode(int32_t frame, const PlaneSet& forward, const PlaneSet& backward,
                         const PlaneSet& output, DecodeScale scale) = 0;

  // Whether `frame` is an I-picture (or an I/P field pair), which reads
  // nothing of its output planes before writing it. False when unknown.
  virtual bool isIntra(int32_t) { return false; }
  // Whether `frame` is a B-picture, from which no frame is predicted. False
  // when unknown.
  virtual bool isBidirectional(int32_t) { return false; }
};

}  // namespace quarlin::tool
