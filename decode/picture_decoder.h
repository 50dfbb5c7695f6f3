// Decoding of one picture unit whose header's first 13 bits have been read:
// completes the header, then decodes every slice into the output frame (a
// frame picture, or the lines of one field), in runs of whole macroblock rows
// on the slice workers when the rows can be decoded apart and the pool is
// free, otherwise on the calling thread, and conceals the macroblocks no
// slice reconstructed once every row is done.
#pragma once
#include <cstdint>

#include "slice/frame_buffer.h"

namespace quarlin {

struct DecodeState;

// The header or its coding extension was rejected: nothing was written.
constexpr int32_t kPictureHeaderRejected = -16;

// 0; kPictureHeaderRejected; otherwise the OR of the slice results (a
// slice error when macroblocks had to be concealed though no slice failed).
int32_t decodePicture(DecodeState& session, const FrameBuffer& forward,
                      const FrameBuffer& backward, const FrameBuffer& output);

// Conceals every macroblock of a picture that could not be decoded at all
// (its unit not found, its header rejected): a frame, or one field of
// `pictureStructure`, of the given picture_coding_type.
void concealWholePicture(DecodeState& session, int32_t pictureCodingType, int32_t pictureStructure,
                         bool secondField, const FrameBuffer& forward, const FrameBuffer& backward,
                         const FrameBuffer& output);

}  // namespace quarlin
