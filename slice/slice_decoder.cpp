#include "slice/slice_decoder.h"

#include "parse/start_codes.h"
#include "slice/slice_routine.h"

namespace quarlin {

void releaseVlcTableSetReference(VlcTableSet*) { releaseVlcTableSet(); }

void prepareSliceContext(SliceContext& ctx, const PictureContext& p, const SharedBuffer& unit) {
  ctx.sequence = p.sequence;
  ctx.picture = p.picture;
  ctx.unit = unit;
  ctx.vlcTables = p.vlcTables;
  ctx.mbRow = p.values->mbRow;
  ctx.mbColumn = p.values->mbColumn;
  ctx.intraDcShift = p.values->intraDcShift;
  ctx.dcPredictorReset = p.values->dcPredictorReset;
  ctx.secondField = p.values->secondField;
  ctx.noPastField = p.noPastField;
  ctx.decodedMacroblocks = p.decodedMacroblocks;
  const VlcTableSet& tables = *p.vlcTables;
  ctx.intraAcTable = tables.table[p.picture->intraVlcFormat ? kVlcCoefficientOne : kVlcCoefficientZero];
  ctx.intraMatrixLuma = p.sequence->intraMatrixLuma;
  ctx.intraMatrixChroma = p.sequence->intraMatrixChroma;
  ctx.nonIntraMatrixLuma = p.sequence->nonIntraMatrixLuma;
  ctx.nonIntraMatrixChroma = p.sequence->nonIntraMatrixChroma;
  ctx.reducedResolution = p.reducedResolution;
  ctx.reductionMode = p.reductionMode;
}

bool enterNextSlice(StreamBuffer& unit, SliceContext& ctx) {
  for (int32_t code = unit.rewindToCurrent(); code != -1; code = unit.rewindToCurrent()) {
    unit.skipStartCode();
    if (!isSliceStartCode(static_cast<uint32_t>(code))) continue;
    ctx.slice.sliceRow = code & 0xFF;
    ctx.sliceEnd = unit.cursor < unit.entryCount()
                       ? unit.words() + unit.table->wordOffsets[unit.cursor] / 4 + 1
                       : unit.words() + (unit.filled + 3) / 4;
    return true;
  }
  return false;
}

// Chooses the variant once per slice: picture_coding_type 3 B, 2 P, any
// other I; picture_structure 3 a frame picture, otherwise a field picture;
// the requested scale.
int32_t decodeSlice(SliceContext& ctx, const FrameBuffer& forward, const FrameBuffer& backward,
                    const FrameBuffer& output) {
  if (!ctx.picture) return kSliceBadCode;
  const int32_t type = ctx.picture->pictureCodingType;
  const SliceRoutines& routines =
      type == kPictureB ? sliceRoutinesB() : (type == kPictureP ? sliceRoutinesP() : sliceRoutinesI());
  const int scale = static_cast<int>(decodeScaleFromOptions(ctx.reducedResolution, ctx.reductionMode));
  if (ctx.picture->pictureStructure != kFramePicture) return routines.field[scale](ctx, forward, backward, output);
  return routines.frame[scale](ctx, forward, backward, output);
}

bool secondFieldReachesPastFrame(const PictureContext& picture, const SharedBuffer& unit) {
  if (!unit || picture.picture->pictureCodingType != kPictureP || picture.picture->pictureStructure == kFramePicture)
    return false;
  // The macroblocks are parsed, not reconstructed: the frames only need
  // addresses, and the two references must be told apart.
  static uint8_t unused[3];
  FrameBuffer past, current;
  for (FrameBuffer* f : {&past, &current}) {
    f->width = picture.sequence->width;
    f->height = picture.sequence->height;
    f->lumaStride = picture.sequence->stride;
    f->yPlane = unused;
    f->cbPlane = unused + 1;
    f->crPlane = unused + 2;
  }
  StreamBuffer& u = *unit;
  SliceContext ctx;
  prepareSliceContext(ctx, picture, unit);
  ctx.secondField = 1;
  ctx.probeReferences = true;
  ctx.decodedMacroblocks = nullptr;
  while (!ctx.reachedPastField && enterNextSlice(u, ctx)) decodeSlice(ctx, past, past, current);
  return ctx.reachedPastField;
}

}  // namespace quarlin
