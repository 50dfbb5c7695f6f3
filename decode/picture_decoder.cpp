#include "decode/picture_decoder.h"

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

// True when no reference the picture reads is a plane it writes, so that
// its rows can be decoded apart in any order. A reference that is the output
// itself (the host gave no forward reference) is read while other rows are
// being written: such a picture is decoded on one thread, in slice order, so
// that the result does not depend on timing. The exception is the second P
// field of a frame without a forward reference frame: it reads only the
// frame's first field there, the lines of the other parity, complete before
// it starts.
bool rowsDecodeApart(const DecodeState& s, const FrameBuffer& forward, const FrameBuffer& backward,
                     const FrameBuffer& output) {
  auto aliases = [&](const FrameBuffer& reference) {
    return reference.yPlane == output.yPlane || reference.cbPlane == output.cbPlane ||
           reference.crPlane == output.crPlane;
  };
  const PictureInfo& p = s.picture;
  if (p.pictureCodingType == kPictureP)
    return !aliases(forward) ||
           (p.pictureStructure != kFramePicture && s.pictureValues.secondField != 0 && s.noPastField);
  if (p.pictureCodingType == kPictureB) return !aliases(forward) && !aliases(backward);
  return true;
}

// Pictures taller than this number their rows with an extension in the
// slice header, which the start codes alone do not show.
constexpr int32_t kHeightWithoutRowExtension = 2800;

// Decodes `slices` slices of the picture from `unitRef`'s cursor on, each
// from its own start code; a failed slice does not stop the run. Returns
// the OR of the slice results.
int32_t decodeSlicesFrom(DecodeState& s, const SharedBuffer& unitRef, int32_t slices, const FrameBuffer& forward,
                         const FrameBuffer& backward, const FrameBuffer& output) {
  if (slices <= 0) return 0;
  StreamBuffer& unit = *unitRef;
  // One context serves the run: each slice's header and start reset all
  // that the slice decodes with.
  SliceContext ctx;
  prepareSliceContext(ctx, pictureContextOf(s), unitRef);
  int32_t result = 0;
  for (int32_t i = 0; i < slices && enterNextSlice(unit, ctx); ++i)
    result |= decodeSlice(ctx, forward, backward, output);
  return result;
}

}  // namespace

int32_t decodeSliceRuns(DecodeState& s, const FrameBuffer& forward, const FrameBuffer& backward,
                        const FrameBuffer& output, int32_t& runsTaken) {
  int32_t result = 0;
  // The counter only hands out run numbers: the runs were filled before the
  // workers were woken.
  for (int32_t k = s.nextRun.fetch_add(1, std::memory_order_relaxed); k < s.runCount;
       k = s.nextRun.fetch_add(1, std::memory_order_relaxed)) {
    const auto run = static_cast<size_t>(k);
    ++runsTaken;
    result |= decodeSlicesFrom(s, s.partBuffer[run], s.sliceTotal[run], forward, backward, output);
  }
  return result;
}

namespace {

// The slices of the picture (a frame or one field), on the workers when
// they can take them, otherwise on the calling thread.
int32_t decodeSlices(DecodeState& s, const FrameBuffer& forward, const FrameBuffer& backward,
                     const FrameBuffer& output) {
  SliceWorkerPool& pool = SliceWorkerPool::instance();
  const int32_t parts = slicePartCount(s.maxParts, pool.workerCount());
  const int32_t runs = parts * DecodeState::kRunsPerWorker;
  const bool apart = parts > 1 && s.sequence.height <= kHeightWithoutRowExtension &&
                     rowsDecodeApart(s, forward, backward, output) &&
                     partitionRows(*s.buffer, runs, s.sliceStart.data(), s.sliceTotal.data());
  if (!apart || !pool.tryAcquire())
    return decodeSlicesFrom(s, s.buffer, s.buffer->sliceCount, forward, backward, output);
  // The pool is given back however this ends, or every later picture of
  // every session would go down the sequential path.
  struct PoolRelease {
    SliceWorkerPool& pool;
    ~PoolRelease() { pool.release(); }
  } held{pool};
  // The session's views, repointed at this unit (each has its own reader).
  for (int32_t k = 0; k < runs; ++k)
    if (s.sliceTotal[static_cast<size_t>(k)] > 0)
      *s.partBuffer[static_cast<size_t>(k)] = makeSliceView(s.buffer, s.sliceStart[static_cast<size_t>(k)]);
  s.runCount = runs;
  s.nextRun.store(0, std::memory_order_relaxed);
  return pool.run(s, parts, forward, backward, output);
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
  if (picture.pictureStructure != kFramePicture) s.pictureValues.secondField = !s.pictureValues.secondField;
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
