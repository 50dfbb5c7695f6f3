#include "slice/slice_decoder.h"

#include "slice/slice_routine.h"

namespace quarlin {

// Chooses the variant once per slice: picture_coding_type 3 B, 2 P, any
// other I; picture_structure 3 a frame picture at the requested scale,
// otherwise a field picture at Full scale.
int32_t decodeSlice(SliceContext& ctx, const FrameBuffer& forward, const FrameBuffer& backward,
                    const FrameBuffer& output) {
  if (!ctx.picture) return kSliceBadCode;
  const int32_t type = ctx.picture->pictureCodingType;
  const SliceRoutines& routines =
      type == 3 ? sliceRoutinesB() : (type == 2 ? sliceRoutinesP() : sliceRoutinesI());
  if (ctx.picture->pictureStructure != 3) return routines.field(ctx, forward, backward, output);
  const DecodeScale scale = decodeScaleFromOptions(ctx.reducedResolution, ctx.reductionMode);
  return routines.frame[static_cast<int>(scale)](ctx, forward, backward, output);
}

}  // namespace quarlin
