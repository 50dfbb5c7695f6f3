#include "decode/picture_decoder.h"

#include <memory>

#include "decode/concealment.h"
#include "decode/decode_state.h"
#include "decode/slice_partition.h"
#include "decode/slice_worker_pool.h"
#include "parse/start_codes.h"
#include "slice/slice_decoder.h"

namespace quarlin {

namespace {

PictureContext pictureContextOf(DecodeState& s) {
  PictureContext p;
  p.sequence = &s.sequence;
  p.picture = &s.picture;
  p.values = &s.pictureValues;
  p.vlcTables = s.vlcTables;
  p.reducedResolution = s.reducedResolution;
  p.reductionMode = s.reductionMode;
  p.noPastField = s.noPastField;
  p.decodedMacroblocks = s.decodedMacroblocks.data();
  return p;
}

// Macroblock rows of the picture: of the frame, or half of them in a field.
int32_t macroblockRows(const SequenceInfo& q, int32_t pictureStructure) {
  return pictureStructure == kFramePicture ? frameMacroblockRows(q) : frameMacroblockRows(q) / 2;
}

// Every macroblock starts out missing; the slices mark what they decode.
void clearDecodedMap(DecodeState& s, int32_t pictureStructure) {
  const size_t rows = static_cast<size_t>(macroblockRows(s.sequence, pictureStructure));
  s.decodedMacroblocks.assign(static_cast<size_t>(s.sequence.mbWidth) * rows, 0);
}

// Conceals what the map leaves; the number of macroblocks concealed.
int32_t concealMissing(const DecodeState& s, int32_t pictureCodingType, int32_t pictureStructure, bool secondField,
                       const FrameBuffer& forward, const FrameBuffer& backward, const FrameBuffer& output) {
  ConcealedPicture p;
  p.decoded = s.decodedMacroblocks.data();
  p.mbWidth = s.sequence.mbWidth;
  p.mbRows = macroblockRows(s.sequence, pictureStructure);
  p.pictureCodingType = pictureCodingType;
  p.pictureStructure = pictureStructure;
  p.secondField = secondField;
  p.scale = decodeScaleFromOptions(s.reducedResolution, s.reductionMode);
  return concealMissingMacroblocks(p, forward, backward, output);
}

int32_t decodeFieldPicture(DecodeState& s, const FrameBuffer& forward,
                           const FrameBuffer& backward, const FrameBuffer& output) {
  StreamBuffer& unit = *s.buffer;
  SliceContext ctx;
  prepareSliceContext(ctx, pictureContextOf(s), s.buffer);
  // A failed slice does not stop the field: the next one starts from its
  // own start code.
  int32_t result = 0;
  while (enterNextSlice(unit, ctx)) result |= decodeSlice(ctx, forward, backward, output);
  s.pictureValues.secondField = !s.pictureValues.secondField;
  return result;
}

// True when the picture predicts from its own output planes (the host gave
// no forward reference, so the output stands in for it). Its macroblocks
// then read rows that other workers would be writing at the same time; it
// is decoded on one thread, in slice order, so that the result does not
// depend on timing.
bool predictsFromOutput(int32_t pictureCodingType, const FrameBuffer& forward,
                        const FrameBuffer& backward, const FrameBuffer& output) {
  auto aliases = [&](const FrameBuffer& reference) {
    return reference.yPlane == output.yPlane || reference.cbPlane == output.cbPlane ||
           reference.crPlane == output.crPlane;
  };
  if (pictureCodingType == kPictureP) return aliases(forward);
  if (pictureCodingType == kPictureB) return aliases(forward) || aliases(backward);
  return false;
}

}  // namespace

int32_t decodeSliceRun(DecodeState& s, int32_t part, const FrameBuffer& forward,
                       const FrameBuffer& backward, const FrameBuffer& output) {
  if (s.sliceTotal[static_cast<size_t>(part)] <= 0) return 0;
  const SharedBuffer& unitRef = s.partBuffer[static_cast<size_t>(part)];
  StreamBuffer& unit = *unitRef;
  int32_t result = 0;
  const PictureContext picture = pictureContextOf(s);
  for (int32_t i = 0; i < s.sliceTotal[static_cast<size_t>(part)]; ++i) {
    SliceContext ctx;
    prepareSliceContext(ctx, picture, unitRef);
    if (!enterNextSlice(unit, ctx)) break;
    // A failed slice does not stop the run: the next one starts from its
    // own start code.
    result |= decodeSlice(ctx, forward, backward, output);
  }
  return result;
}

namespace {

// The slices of the picture, on the workers when they can take them.
int32_t decodeSlices(DecodeState& s, const FrameBuffer& forward, const FrameBuffer& backward,
                     const FrameBuffer& output) {
  StreamBuffer& unit = *s.buffer;
  if (s.picture.pictureStructure != kFramePicture) return decodeFieldPicture(s, forward, backward, output);

  SliceWorkerPool& pool = SliceWorkerPool::instance();
  const bool rowsIndependent = unit.isOneSlicePerRow(s.sequence.height) &&
                               !predictsFromOutput(s.picture.pictureCodingType, forward, backward, output);
  const int32_t parts = slicePartCount(rowsIndependent, s.maxParts, pool.workerCount());
  if (parts == 1 || !pool.tryAcquire()) {
    s.sliceStart[0] = 0;
    s.sliceTotal[0] = unit.sliceCount;
    s.partBuffer[0] = s.buffer;
    const int32_t result = decodeSliceRun(s, 0, forward, backward, output);
    s.partBuffer[0] = SharedBuffer();
    return result;
  }
  // The pool is given back however this ends: making a slice view can run
  // out of memory, and a pool left held would send every later picture of
  // every session down the sequential path.
  struct PoolRelease {
    SliceWorkerPool& pool;
    ~PoolRelease() { pool.release(); }
  } held{pool};
  // Contiguous runs of whole rows; the last part takes the remainder.
  partitionSlices(unit.sliceCount, parts, s.sliceStart.data(), s.sliceTotal.data());
  for (int32_t k = 0; k < parts; ++k) {
    if (s.sliceTotal[k] == 0) {
      s.partBuffer[k] = SharedBuffer();
      continue;
    }
    // Owned here until its reference count exists.
    auto view = std::make_unique<StreamBuffer>(makeSliceView(s.buffer, s.sliceStart[k]));
    s.partBuffer[k] = SharedBuffer(view.get());
    view.release();
  }
  const int32_t result = pool.run(s, parts, forward, backward, output);
  for (int32_t k = 0; k < parts; ++k) s.partBuffer[k] = SharedBuffer();
  return result;
}

}  // namespace

int32_t decodePicture(DecodeState& s, const FrameBuffer& forward, const FrameBuffer& backward,
                      const FrameBuffer& output) {
  StreamBuffer& unit = *s.buffer;
  if (completePictureHeader(unit, s.sequence, s.picture, s.pictureValues) != 0) return kPictureHeaderRejected;
  const PictureInfo& picture = s.picture;
  const bool secondField = s.pictureValues.secondField != 0;
  clearDecodedMap(s, picture.pictureStructure);
  const int32_t result = decodeSlices(s, forward, backward, output);
  const int32_t concealed = concealMissing(s, picture.pictureCodingType, picture.pictureStructure, secondField,
                                           forward, backward, output);
  // Concealed macroblocks make a failed picture, also when no slice failed
  // (a whole slice was lost).
  return result != 0 || concealed == 0 ? result : kSliceBadSyntax;
}

void concealWholePicture(DecodeState& s, int32_t pictureCodingType, int32_t pictureStructure, bool secondField,
                         const FrameBuffer& forward, const FrameBuffer& backward, const FrameBuffer& output) {
  if (s.sequence.mbWidth <= 0) return;
  clearDecodedMap(s, pictureStructure);
  concealMissing(s, pictureCodingType, pictureStructure, secondField, forward, backward, output);
}

}  // namespace quarlin
