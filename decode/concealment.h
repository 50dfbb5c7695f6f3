// Concealment of the macroblocks of a picture that no slice reconstructed
// (a damaged or missing slice): after the slices have run, each is filled
// from what the request provides, so that the output never depends on what
// the host's planes held before.
//   P and B pictures: the co-located area of the forward reference, else of
//     the backward one (a reference that is the output itself already holds
//     it, except in the second field of a frame: that copies the first
//     field, the other parity of the output).
//   I pictures, and pictures without a reference: the macroblock above in
//     the same picture (so the nearest decoded row above), else mid-grey.
// Field pictures conceal within their field; each scale at its own size.
#pragma once
#include <cstdint>

#include "slice/frame_buffer.h"
#include "slice/slice_context.h"

namespace quarlin {

struct ConcealedPicture {
  const uint8_t* decoded = nullptr;  // one byte per macroblock, 0 where not reconstructed
  int32_t mbWidth = 0;
  int32_t mbRows = 0;           // macroblock rows of the picture (of the field)
  int32_t pictureCodingType = 0;
  int32_t pictureStructure = 0;  // kTopField, kBottomField or kFramePicture
  bool secondField = false;      // the second field picture of a frame
  DecodeScale scale = DecodeScale::Full;
};

// The number of macroblocks concealed.
int32_t concealMissingMacroblocks(const ConcealedPicture& picture, const FrameBuffer& forward,
                                  const FrameBuffer& backward, const FrameBuffer& output);

}  // namespace quarlin
