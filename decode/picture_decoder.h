// Decoding of one picture unit whose header's first 13 bits have been read:
// completes the header, then decodes every slice into the output frame,
// in parallel on the slice workers when the picture has one slice per
// macroblock row and the pool is free, otherwise on the calling thread.
#pragma once
#include <cstdint>

#include "slice/frame_buffer.h"

namespace quarlin {

struct DecodeState;

// 0; -2 when the header or its coding extension is rejected; otherwise the
// OR of the slice results.
int32_t decodePicture(DecodeState& session, const FrameBuffer& forward,
                      const FrameBuffer& backward, const FrameBuffer& output);

}  // namespace quarlin
