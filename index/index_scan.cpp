#include "index/index_scan.h"

#include "index/session_state.h"
#include "parse/header_parser.h"
#include "parse/start_codes.h"
#include "slice/slice_decoder.h"

namespace quarlin {

namespace {


// A sequence header met between pictures: the pictures after it decode with
// its matrices and progressive_sequence; one of another size or chroma
// format cannot be decoded into the host's planes.
void noteSequenceHeader(SessionState& s) {
  SequenceInfo header;
  if (parseSequenceHeader(*s.buffer, header) != kHeaderOk) return;
  s.scan.sequenceDecodable = header.width == s.firstSequence.width &&
                             header.height == s.firstSequence.height && header.chromaFactor == 2;
  s.sequence = header;
}

// group_of_pictures_header: time_code (25 bits), closed_gop, broken_link.
void noteGroupHeader(SessionState& s) {
  BitReader r = s.buffer->reader();
  skipBits(r, 25);
  s.scan.closedGroupPending = readBits(r, 1) != 0;
}

// Passes over the rest of the unit's start codes, noting sequence and group
// headers. The unit ends with the next picture's start code, so the next
// unit begins with that picture's data.
void passToNextPicture(SessionState& s) {
  IndexBuildState& scan = s.scan;
  StreamBuffer& unit = *s.buffer;
  while (scan.currentStartCode != kNoStartCode) {
    if (scan.currentStartCode == kSequenceHeaderCode) noteSequenceHeader(s);
    if (scan.currentStartCode == kGroupStartCode) noteGroupHeader(s);
    scan.currentStartCode = unit.nextStartCode();
  }
}

enum class Read { Picture, Rejected, End };

// Reads the next unit and completes its picture header.
int32_t readPicture(SessionState& s, Read& read) {
  StreamBuffer& unit = *s.buffer;
  const int32_t result = s.stream.readNextPictureUnit(unit);
  read = Read::End;
  if (result == kEndOfData && unit.filled == 0) return kReadOk;
  if (result != kReadOk && result != kEndOfData) return result;
  parsePictureHeader(unit, s.picture);
  read = completePictureHeader(unit, s.sequence, s.picture, s.pictureValues) == kHeaderOk ? Read::Picture
                                                                                        : Read::Rejected;
  return 0;
}

// Numbers the held I/P-frame and puts it and the frames displayed before it
// into the index.
void releaseHeldAnchor(SessionState& s) {
  IndexBuildState& scan = s.scan;
  if (!scan.holdingAnchor) return;
  scan.heldAnchor.displayNumber = scan.nextDisplay++;
  s.frameIndex.addFrame(scan.heldAnchor);
  for (FrameIndexEntry& e : scan.heldFrames) {
    if (e.pictureType() == kPictureB) e.backwardRef = scan.heldAnchor.displayNumber;
    s.frameIndex.addFrame(e);
  }
  scan.heldFrames.clear();
  scan.olderAnchor = scan.heldAnchor.displayNumber;
  scan.holdingAnchor = false;
}

int32_t finalise(SessionState& s, float* progress) {
  releaseHeldAnchor(s);
  const DemuxState& demux = s.stream.demux();
  s.frameIndex.setStartFrameOffset(demux.privateShort);
  s.frameIndex.finalise(demux.privateLong);
  s.stream.clearPositionSets();
  if (progress) *progress = 1.0f;
  s.indexIncomplete = false;
  s.buffer = SharedBuffer();
  return 0;
}

// The first field of a frame has been read: the second field's unit should
// follow. A unit that is not that field (a lost field) stays for the next
// frame; the first field then makes a frame of its own. `reachesPast` is set
// for an I/P frame whose P field predicts from the previous frame.
int32_t takeSecondField(SessionState& s, FrameIndexEntry& entry, bool& reachesPast) {
  IndexBuildState& scan = s.scan;
  StreamBuffer& unit = *s.buffer;
  int32_t last = kNoStartCode;
  for (int32_t code = unit.nextStartCode(); code != kNoStartCode; code = unit.nextStartCode()) last = code;
  scan.currentStartCode = kNoStartCode;
  if (last != kPictureStartCode) {
    // The data ends (or a unit too large for a picture was cut) after it.
    entry.entryFlags |= kSingleField;
    return 0;
  }
  const PictureInfo first = s.picture;
  const int64_t position = unconsumedPosition(s.stream, unit);
  Read read;
  if (int32_t r = readPicture(s, read); r != 0) return r;
  if (read == Read::End) {  // the next read ends the scan
    entry.entryFlags |= kSingleField;
    return 0;
  }
  const PictureInfo& second = s.picture;
  const bool isSecondField = read == Read::Picture && second.pictureStructure == otherField(first.pictureStructure) &&
                             second.temporalReference == first.temporalReference &&
                             (second.pictureCodingType == kPictureB) == (first.pictureCodingType == kPictureB);
  if (!isSecondField) {
    entry.entryFlags |= kSingleField;
    scan.unitPending = read == Read::Picture;
    scan.pendingPosition = position;
    if (!scan.unitPending) scan.currentStartCode = unit.nextStartCode();
    return 0;
  }
  if (first.pictureCodingType == kPictureI && second.pictureCodingType == kPictureP) {
    PictureContext picture;
    picture.sequence = &s.sequence;
    picture.picture = &s.picture;
    picture.values = &s.pictureValues;
    picture.vlcTables = s.vlcTables;
    reachesPast = secondFieldReachesPastFrame(picture, s.buffer);
  }
  scan.currentStartCode = unit.nextStartCode();
  return 0;
}

// Gives the frame its display number (now, or when the next I/P-frame
// arrives) and references.
void number(SessionState& s, FrameIndexEntry& e, int32_t type, bool reachesPast) {
  IndexBuildState& scan = s.scan;
  if (type == kPictureI || type == kPictureP) {
    releaseHeldAnchor(s);
    e.pictureFlags = static_cast<uint8_t>(type == kPictureI ? kEntryTypeI | kKeyFlag : kEntryTypeP);
    e.forwardRef = type == kPictureP || reachesPast ? scan.olderAnchor : kNoReference;
    // ISO/IEC 13818-2 6.3.8: the B-pictures right after the first I-picture
    // of a closed group use backward prediction only.
    scan.leadingOfClosedGroup = type == kPictureI && scan.closedGroupPending;
    if (type == kPictureI) scan.closedGroupPending = false;
    scan.heldAnchor = e;
    scan.holdingAnchor = true;
    return;
  }
  // B-frames (and D-pictures, which have no references) are displayed as
  // they are decoded, before the held anchor.
  e.displayNumber = scan.nextDisplay++;
  e.pictureFlags = static_cast<uint8_t>(type == kPictureB ? kEntryTypeB : kEntryTypeOther);
  if (type == kPictureB && !scan.leadingOfClosedGroup) e.forwardRef = scan.olderAnchor;
  scan.heldFrames.push_back(e);
}

}  // namespace

void IndexBuildState::reset() {
  seenIntra = false;
  nextDisplay = 0;
  olderAnchor = -1;
  holdingAnchor = false;
  heldFrames.clear();
  closedGroupPending = leadingOfClosedGroup = false;
  sequenceDecodable = true;
  unitPending = false;
  pendingPosition = 0;
}

int64_t unconsumedPosition(StreamSource& source, const StreamBuffer& unit) {
  DemuxState& demux = source.demux();
  const int64_t p = source.reader().getPosition();
  if (demux.isTransport) return demux.packetEnds.threeBefore(p, /*forget=*/true);
  if (demux.isElementary) return p - unit.carryCount;
  return demux.packStarts.threeBefore(p, /*forget=*/false);
}

namespace {

// The share of the file read, 0..1.
float progressAt(int64_t position, int64_t fileSize) {
  if (fileSize <= 0 || position <= 0) return 0.0f;
  return position >= fileSize ? 1.0f : static_cast<float>(static_cast<double>(position) / static_cast<double>(fileSize));
}

}  // namespace

int32_t scanIndex(SessionState& s, int32_t budget, float* progress) {
  IndexBuildState& scan = s.scan;
  int32_t intraCount = 0;
  const int64_t fileSize = s.stream.reader().getFileSize();
  // Set before anything is read: a slice may end before its first picture.
  if (progress) *progress = progressAt(s.stream.reader().getPosition(), fileSize);
  for (;;) {
    if (intraCount >= budget) return kScanBudgetUsed;
    FrameIndexEntry e;
    if (scan.unitPending) {
      scan.unitPending = false;
      e.streamPosition = scan.pendingPosition;
    } else {
      passToNextPicture(s);
      e.streamPosition = unconsumedPosition(s.stream, *s.buffer);
      if (progress) *progress = progressAt(e.streamPosition, fileSize);
      Read read;
      if (int32_t r = readPicture(s, read); r != 0) return r;
      if (read == Read::End) return finalise(s, progress);
      if (read == Read::Rejected) {  // a damaged picture header: passed over
        scan.currentStartCode = s.buffer->nextStartCode();
        continue;
      }
    }
    e.codedSize = static_cast<uint32_t>(s.buffer->filled);
    e.temporalReference = s.picture.temporalReference;
    e.codingState = s.frameIndex.internCodingState(codingStateOf(s.sequence, scan.sequenceDecodable));
    const int32_t type = s.picture.pictureCodingType;
    bool reachesPast = false;
    if (s.picture.pictureStructure != kFramePicture) {
      if (int32_t r = takeSecondField(s, e, reachesPast); r != 0) return r;
    } else {
      scan.currentStartCode = s.buffer->nextStartCode();
    }
    if (type == kPictureI) {
      scan.seenIntra = true;
      ++intraCount;
    }
    if (scan.seenIntra) number(s, e, type, reachesPast);
  }
}

}  // namespace quarlin
