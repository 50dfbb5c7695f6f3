#include "decode/frame_request.h"

#include <cstring>

#include "decode/decode_state.h"
#include "slice/frame_buffer.h"
#include "decode/picture_decoder.h"
#include "index/coding_state.h"
#include "parse/header_parser.h"
#include "slice/scale_geometry.h"

namespace quarlin {

namespace {

// At most this many units are examined after seeking to an entry.
constexpr int32_t kMaxUnitsExamined = 9;

// Has the file bytes of a picture whose unit is `unitBytes` long read at
// once from the read position: the unit, with room for the packet headers of
// a program or transport stream (under 1/16 of the payload) and the bytes
// before its start code.
void prefetchPicture(DecodeState& s, int64_t unitBytes) {
  s.stream.reader().prefetch(unitBytes + unitBytes / 16 + 8192);
}

// Fetches units until one carries the expected temporal_reference, a
// picture type 1-3 and the indexed size. The reader then stands just after
// picture_coding_type.
int32_t fetchMatchingUnit(DecodeState& s, int32_t temporalReference, uint32_t codedSize) {
  StreamBuffer& unit = *s.buffer;
  for (int32_t examined = 1;; ++examined) {
    const int32_t result = s.stream.readNextPictureUnit(unit);
    if (examined > kMaxUnitsExamined) return kNoMatchingUnit;
    if (result != kReadOk && !(result == kEndOfData && unit.filled > 0)) return result;
    PictureInfo header;
    parsePictureHeader(unit, header);
    if (header.temporalReference == temporalReference && header.pictureCodingType >= kPictureI &&
        header.pictureCodingType <= kPictureB && static_cast<uint32_t>(unit.filled) == codedSize) {
      s.picture.temporalReference = header.temporalReference;
      s.picture.pictureCodingType = header.pictureCodingType;
      return 0;
    }
  }
}

// The second field of a field-coded frame: the unit that follows the first.
// It must be the other field of the same frame.
int32_t decodeSecondField(DecodeState& s, const FrameBuffer& forward, const FrameBuffer& backward,
                          const FrameBuffer& output) {
  StreamBuffer& unit = *s.buffer;
  const int32_t firstStructure = s.picture.pictureStructure;
  const int32_t temporalReference = s.picture.temporalReference;
  // When the other field could not be decoded, it is concealed as a P field
  // (from the forward reference, else from the first field).
  const int32_t concealAs = s.picture.pictureCodingType == kPictureB ? kPictureB : kPictureP;
  auto concealOtherField = [&](int32_t failure) {
    concealWholePicture(s, concealAs, otherField(firstStructure), true, forward, backward, output);
    return failure;
  };
  prefetchPicture(s, unit.filled);  // a field's size is about the other's
  const int32_t result = s.stream.readNextPictureUnit(unit);
  if (result != kReadOk && !(result == kEndOfData && unit.filled > 0)) return concealOtherField(result);
  parsePictureHeader(unit, s.picture);
  if (s.picture.temporalReference != temporalReference) return concealOtherField(kHeaderInvalid);
  s.pictureValues.secondField = 1;
  const int32_t decoded = decodePicture(s, forward, backward, output);
  if (decoded == kPictureHeaderRejected || s.picture.pictureStructure != otherField(firstStructure))
    return concealOtherField(decoded != 0 ? decoded : kHeaderInvalid);
  return decoded;
}

// A field picture whose other field is missing: its lines are repeated into
// the other field's, so the frame shows the one field there is. Lines and
// strides are those of the decoding scale.
void repeatField(const FrameBuffer& output, DecodeScale scale, int32_t parity) {
  const PlaneExtent extent = planeExtent(output.width, output.height);
  const int32_t rows = 2 * ((output.height + 31) / 32);  // macroblock rows of the frame
  const bool full = scale == DecodeScale::Full;
  const int32_t lumaStride = full ? output.lumaStride : reducedLumaStride(output.lumaStride);
  const int32_t chromaStride = full ? output.chromaStride() : reducedChromaStride(output.lumaStride);
  const int32_t lumaLines = (scale == DecodeScale::Quarter ? 8 : 16) * rows;
  const struct {
    uint8_t* plane;
    int32_t stride;
    int32_t lines;
    int64_t bytes;
  } planes[3] = {{output.yPlane, lumaStride, lumaLines, extent.luma},
                 {output.cbPlane, chromaStride, lumaLines / 2, extent.chroma},
                 {output.crPlane, chromaStride, lumaLines / 2, extent.chroma}};
  for (const auto& p : planes) {
    for (int32_t line = 0; line + 1 < p.lines; line += 2) {
      const int64_t from = int64_t{line + parity} * p.stride;
      const int64_t to = int64_t{line + 1 - parity} * p.stride;
      if (from + p.stride <= p.bytes && to + p.stride <= p.bytes)
        std::memcpy(p.plane + to, p.plane + from, static_cast<size_t>(p.stride));
    }
  }
}

// The sequence values a picture decodes with: the first sequence header
// with the progressive_sequence and matrices the index recorded for it.
int32_t loadCodingState(DecodeState& s, const FrameIndexEntry& entry) {
  s.sequence = s.firstSequence;
  if (entry.codingState == kFirstSequenceState) return 0;
  const CodingState* state = s.frameIndex.codingState(entry.codingState);
  if (!state || (state->flags & CodingState::kUndecodable)) return kSequenceUnavailable;
  applyCodingState(*state, s.sequence);
  return 0;
}

int32_t decodeIndexedFrame(DecodeState& s, int32_t frame, const FrameIndexEntry& entry,
                           const PlaneSet* forwardPlanes, const PlaneSet* backwardPlanes,
                           const PlaneSet* outputPlanes) {
  // Without its coding state (a damaged sequence header), the frame is
  // concealed in the first sequence's geometry, that of the host's planes.
  const int32_t stateResult = loadCodingState(s, entry);
  const SequenceInfo& q = s.sequence;
  const FrameBuffer output = frameBufferOver(outputPlanes, q.width, q.height, q.stride);
  const FrameBuffer backward = frameBufferOver(backwardPlanes, q.width, q.height, q.stride);
  const bool forwardGiven = forwardPlanes && forwardPlanes->y.address;
  const bool backwardGiven = backwardPlanes && backwardPlanes->y.address;
  // A B-frame without a forward reference (the leading B-frames of a group
  // that starts the file) predicts forward from its backward reference, so
  // that it never reads what the output planes held before.
  const FrameBuffer forward = forwardGiven ? frameBufferOver(forwardPlanes, q.width, q.height, q.stride)
                              : entry.pictureType() == kPictureB && backwardGiven ? backward
                                                                                : output;
  const int32_t tr = entry.temporalReference != kUnknownTemporalReference ? entry.temporalReference
                                                                            : s.frameIndex.keyDistance(frame);
  // A picture that cannot be found or whose header is rejected is concealed
  // whole, as the frame the index recorded.
  auto concealFrame = [&](int32_t failure) {
    concealWholePicture(s, entry.pictureType(), kFramePicture, false, forward, backward, output);
    return failure;
  };
  if (stateResult != 0) return concealFrame(stateResult);
  // A picture whose damaged header gave another picture_coding_type (4, D)
  // is indexed but has nothing to decode.
  if (entry.pictureType() < kEntryTypeI || entry.pictureType() > kEntryTypeB)
    return concealFrame(kPictureHeaderRejected);
  s.stream.seekTo(entry.streamPosition, *s.buffer);
  prefetchPicture(s, entry.codedSize);
  // A unit that is not there any more (the file changed) is a frame not
  // found: nothing is written.
  if (int32_t r = fetchMatchingUnit(s, tr, entry.codedSize); r != 0)
    return r == kNoMatchingUnit ? r : concealFrame(r);
  s.pictureValues.secondField = 0;
  s.noPastField = false;
  const int32_t result = decodePicture(s, forward, backward, output);
  if (result == kPictureHeaderRejected) return concealFrame(result);
  if (s.picture.pictureStructure == kFramePicture) return result;
  // A field picture is half a frame: its other field follows (decoded and
  // concealed even when the first one failed).
  if (entry.entryFlags & kSingleField) {
    repeatField(output, decodeScaleFromOptions(s.reducedResolution, s.reductionMode),
                s.picture.pictureStructure == kBottomField ? 1 : 0);
    return result;
  }
  s.noPastField = !forwardGiven;
  const int32_t second = decodeSecondField(s, forward, backward, output);
  s.noPastField = false;
  return result != 0 ? result : second;
}

}  // namespace

int32_t decodeFrame(DecodeState& s, int32_t frame, const PlaneSet* forwardPlanes,
                    const PlaneSet* backwardPlanes, const PlaneSet* outputPlanes,
                    int32_t reducedResolution, int32_t reductionMode) {
  if (s.indexIncomplete) return kIndexIncomplete;
  const FrameIndexEntry* entry = s.frameIndex.findEntry(frame);
  if (!entry) return kNoMatchingUnit;
  s.buffer = createSharedBuffer(kUnitCapacity, &s.startCodeTables, s.hostServices);
  s.reducedResolution = reducedResolution;
  s.reductionMode = reductionMode;
  const int32_t result = decodeIndexedFrame(s, frame, *entry, forwardPlanes, backwardPlanes, outputPlanes);
  // A request keeps no host memory once it returns (the map of decoded
  // macroblocks, on the library's heap, stays with the session).
  s.buffer = SharedBuffer();
  return result;
}

}  // namespace quarlin
