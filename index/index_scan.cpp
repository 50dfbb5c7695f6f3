#include "index/index_scan.h"

#include "api/decoder_session.h"
#include "parse/header_parser.h"
#include "parse/start_codes.h"

namespace quarlin {

namespace {

constexpr int32_t kFrameStructure = 3;

// A sequence header met between pictures: pictures after it are decoded
// with it when it differs from the file's first one (other matrices, for
// instance), so the entries record where it can be read again.
void noteSequenceHeader(DecoderSession& s) {
  IndexBuildState& scan = s.scan;
  SequenceInfo header;
  if (parseSequenceHeader(*s.buffer, header) != 0) return;
  if (sameCodingParameters(header, s.firstSequence)) {
    scan.sequenceLocator = -1;
    return;
  }
  scan.sequenceLocator = scan.currentUnitPosition;
  s.rememberSequence(scan.sequenceLocator, header);
}

// Steps through the unit's start codes to the next picture. A group header
// must be followed (after an optional extension and user data) by a picture
// start code. 0, or -2 for a malformed group.
int32_t locateNextPicture(DecoderSession& s) {
  IndexBuildState& scan = s.scan;
  StreamBuffer& unit = *s.buffer;
  while (scan.currentStartCode != -1) {
    if (scan.currentStartCode == kGroupStartCode) {
      int32_t code = unit.nextStartCode();
      if (code == kExtensionStartCode) code = unit.nextStartCode();
      if (code == kUserDataStartCode) code = unit.nextStartCode();
      if (code != kPictureStartCode) return -2;
      scan.currentStartCode = unit.nextStartCode();  // normally -1: the unit ends here
      continue;
    }
    if (scan.currentStartCode == kSequenceHeaderCode) noteSequenceHeader(s);
    scan.currentStartCode = unit.nextStartCode();
  }
  return 0;
}

// The first offset in `positions` at or after `p`, stepped back by up to
// three recorded positions.
template <class Set>
typename Set::iterator threeBefore(Set& positions, int64_t p) {
  auto it = positions.lower_bound(p);
  for (int i = 0; i < 3 && it != positions.begin(); ++i) --it;
  return it;
}

int32_t finalise(DecoderSession& s, float* progress) {
  const DemuxState& demux = s.stream.demux();
  s.frameIndex.setStartFrameOffset(demux.privateShort);
  s.frameIndex.finalise(demux.privateLong);
  s.stream.clearPositionSets();
  if (progress) *progress = 1.0f;
  s.indexIncomplete = false;
  s.buffer = SharedBuffer();
  return 0;
}

// Reads the next unit and completes its picture header. `end` is set when
// the data ended with an empty unit.
int32_t readPicture(DecoderSession& s, bool& end) {
  StreamBuffer& unit = *s.buffer;
  end = false;
  const int32_t result = s.stream.readNextPictureUnit(unit);
  if (result == -4 && unit.filled == 0) {
    end = true;
    return 0;
  }
  if (result != 0 && result != -4) return result;
  parsePictureHeader(unit, s.picture);
  return completePictureHeader(unit, s.sequence, s.picture, s.pictureValues);
}

// A field-coded frame: the first field's slices are passed over and the
// second field's unit, which must follow, is consumed with its header.
// `end` is set when the data ends before the second field.
int32_t consumeSecondField(DecoderSession& s, bool& end) {
  StreamBuffer& unit = *s.buffer;
  int32_t code = -1;
  for (int32_t c = unit.nextStartCode(); c != -1; c = unit.nextStartCode()) code = c;
  if (code != kPictureStartCode) {
    // Only the last unit of the data ends without a picture start code: the
    // file stops after this first field. Its frame is kept and the index
    // finalised.
    end = true;
    return 0;
  }
  const int32_t firstStructure = s.picture.pictureStructure;
  const int32_t firstType = s.picture.pictureCodingType;
  if (int32_t result = readPicture(s, end); result != 0 || end) return result;
  // The two fields of a frame have opposite parity.
  if (s.picture.pictureStructure != 3 - firstStructure) return -2;
  s.picture.pictureCodingType = firstType;
  return 0;
}

void classify(IndexBuildState& scan, FrameCandidate& c, int32_t type) {
  switch (type) {
    case 1:
      c.pictureType = 1;
      scan.anchorList.push_back(c.displayNumber);
      // An I-picture is the anchor the next group's leading B-pictures
      // predict from when no P-picture follows it in its group
      // (ISO/IEC 13818-2 7.6: the forward reference is the most recently
      // decoded I- or P-picture).
      scan.carriedAnchor = c.displayNumber;
      c.anchors.clear();  // an I-picture has no references
      break;
    case 2:
      c.pictureType = 2;
      scan.anchorList.push_back(c.displayNumber);
      scan.carriedAnchor = c.displayNumber;
      break;
    case 3:
      c.pictureType = 3;
      break;
    default:
      c.pictureType = 0;  // D-pictures
  }
}

}  // namespace

void IndexBuildState::reset() {
  decodeCount = 0;
  gopDisplayBase = 0;
  picturesInGroup = 0;
  pendingKey = false;
  carriedAnchor = -1;
  anchorList.clear();
  seenIntra = false;
  currentUnitPosition = -1;
  sequenceLocator = -1;
}

int64_t unconsumedPosition(StreamSource& source, const StreamBuffer& unit) {
  DemuxState& demux = source.demux();
  const int64_t p = source.reader().getPosition();
  if (demux.isTransport) {
    auto it = threeBefore(demux.packetEnds, p);
    const int64_t result = it == demux.packetEnds.end() ? p : *it;
    demux.packetEnds.erase(demux.packetEnds.begin(), it);
    return result;
  }
  if (demux.isElementary) return p - unit.carryCount;
  auto it = threeBefore(demux.packStarts, p);
  return it == demux.packStarts.end() ? p : *it;
}

int32_t scanIndex(DecoderSession& s, int32_t budget, float* progress) {
  IndexBuildState& scan = s.scan;
  int32_t intraCount = 0;
  const double fileSize = static_cast<double>(s.stream.reader().getFileSize());
  for (;;) {
    if (intraCount >= budget) return kScanBudgetUsed;
    FrameCandidate c;
    if (int32_t r = locateNextPicture(s); r != 0) return r;

    c.streamPosition = unconsumedPosition(s.stream, *s.buffer);
    if (progress) *progress = static_cast<float>(static_cast<double>(c.streamPosition) / fileSize);

    bool end = false;
    if (int32_t r = readPicture(s, end); r != 0) return r;
    if (end) return finalise(s, progress);
    c.codedSize = static_cast<uint32_t>(s.buffer->filled);
    c.sequenceLocator = scan.sequenceLocator;
    scan.currentUnitPosition = c.streamPosition;
    const int32_t type = s.picture.pictureCodingType;
    const int32_t temporalReference = s.picture.temporalReference;
    if (s.picture.pictureStructure != kFrameStructure) {
      if (int32_t r = consumeSecondField(s, end); r != 0) return r;
    }
    scan.currentStartCode = s.buffer->nextStartCode();
    if (!scan.seenIntra && type != 1) {
      if (end) return finalise(s, progress);
      continue;  // coded before the first I-picture: not indexed
    }

    if (type == 1) {
      scan.seenIntra = true;
      scan.pendingKey = true;
      scan.gopDisplayBase += scan.picturesInGroup;
      scan.picturesInGroup = 0;
      ++intraCount;
      scan.anchorList.clear();
      if (scan.carriedAnchor != -1) scan.anchorList.push_back(scan.carriedAnchor);
    }
    c.displayNumber = scan.gopDisplayBase + temporalReference;
    c.anchors = scan.anchorList;
    if (scan.pendingKey && c.displayNumber <= scan.decodeCount) {
      c.key = true;
      scan.pendingKey = false;
    }
    ++scan.decodeCount;
    classify(scan, c, type);
    ++scan.picturesInGroup;
    s.frameIndex.addFrame(c);
    if (end) return finalise(s, progress);
  }
}

}  // namespace quarlin
