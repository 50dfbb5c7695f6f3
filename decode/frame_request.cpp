#include "decode/frame_request.h"

#include "api/decoder_session.h"
#include "decode/frame_buffer.h"
#include "decode/picture_decoder.h"
#include "decode/sequence_selection.h"

namespace quarlin {

namespace {

// At most this many units are examined after seeking to an entry.
constexpr int32_t kMaxUnitsExamined = 9;

// Fetches units until one carries the expected temporal_reference, a
// picture type 1-3 and the indexed size. The reader then stands just after
// picture_coding_type.
int32_t fetchMatchingUnit(DecoderSession& s, int32_t temporalReference, uint32_t codedSize) {
  StreamBuffer& unit = *s.buffer;
  for (int32_t examined = 1;; ++examined) {
    const int32_t result = s.stream.readNextPictureUnit(unit);
    if (examined > kMaxUnitsExamined) return kNoMatchingUnit;
    if (result != 0 && !(result == -4 && unit.filled > 0)) return result;
    PictureInfo header;
    parsePictureHeader(unit, header);
    if (header.temporalReference == temporalReference && header.pictureCodingType >= 1 &&
        header.pictureCodingType <= 3 && static_cast<uint32_t>(unit.filled) == codedSize) {
      s.picture.temporalReference = header.temporalReference;
      s.picture.pictureCodingType = header.pictureCodingType;
      return 0;
    }
  }
}

// The second field of a field-coded frame: the unit that follows the first.
// It must be the other field of the same frame.
int32_t decodeSecondField(DecoderSession& s, const FrameBuffer& forward, const FrameBuffer& backward,
                          const FrameBuffer& output) {
  StreamBuffer& unit = *s.buffer;
  const int32_t firstStructure = s.picture.pictureStructure;
  const int32_t temporalReference = s.picture.temporalReference;
  const int32_t result = s.stream.readNextPictureUnit(unit);
  if (result != 0 && !(result == -4 && unit.filled > 0)) return result;
  parsePictureHeader(unit, s.picture);
  if (s.picture.temporalReference != temporalReference) return -2;
  s.pictureValues.secondField = 1;
  const int32_t decoded = decodePicture(s, forward, backward, output);
  if (decoded == 0 && s.picture.pictureStructure != 3 - firstStructure) return -2;
  return decoded;
}

}  // namespace

int32_t decodeFrame(DecoderSession& s, int32_t frame, const PlaneSet* forwardPlanes,
                    const PlaneSet* backwardPlanes, const PlaneSet* outputPlanes,
                    int32_t reducedResolution, int32_t reductionMode) {
  if (s.indexIncomplete) return -4;
  const FrameIndexEntry* entry = s.frameIndex.findEntry(frame);
  if (!entry) return kNoMatchingUnit;
  s.buffer = createSharedBuffer(kUnitCapacity, &s.startCodeTables, s.hostServices);
  s.reducedResolution = reducedResolution;
  s.reductionMode = reductionMode;
  if (int32_t r = selectSequenceFor(s, *entry); r != 0) {
    s.buffer = SharedBuffer();
    return r;
  }
  s.stream.seekTo(entry->streamPosition, *s.buffer);

  const SequenceInfo& q = s.sequence;
  const FrameBuffer output = frameBufferOver(outputPlanes, q.width, q.height, q.stride);
  const FrameBuffer backward = frameBufferOver(backwardPlanes, q.width, q.height, q.stride);
  const bool forwardGiven = forwardPlanes && forwardPlanes->y.address;
  const FrameBuffer forward =
      forwardGiven ? frameBufferOver(forwardPlanes, q.width, q.height, q.stride) : output;

  const int32_t tr = s.frameIndex.keyDistance(frame);
  int32_t result = fetchMatchingUnit(s, tr, entry->codedSize);
  if (result == 0) {
    s.pictureValues.secondField = 0;
    result = decodePicture(s, forward, backward, output);
    // A field picture is half a frame: its other field follows.
    if (result == 0 && s.picture.pictureStructure != 3)
      result = decodeSecondField(s, forward, backward, output);
  }
  s.buffer = SharedBuffer();
  return result;
}

}  // namespace quarlin
