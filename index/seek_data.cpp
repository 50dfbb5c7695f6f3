// The index part of the seek data, little-endian throughout. Versions 1, 2
// and 3 are read as the plug-in format defines them (their entries do not
// say which temporal_reference or which quantiser matrices a picture has, so
// frames are found through the key entries and decoded with the first
// sequence header). This library writes version 4: version 3's header and
// 32-byte entries with the undefined bytes 25..31 defined, followed by the
// table of coding states:
//
//   entry byte 25      entryFlags (1: a field picture without its other field)
//   entry bytes 26-27  temporal_reference, 0xFFFF when unknown
//   entry bytes 28-31  coding state index (signed; -1: the first sequence header)
//   after the entries  state count S, then S states of 260 bytes: flags
//                      (1 progressive_sequence, 2 undecodable), three zero
//                      bytes, the four 64-byte matrices in raster order
#include <cstring>

#include "index/frame_index.h"

namespace quarlin {

namespace {

void putLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
int64_t le64(const uint8_t* p) {
  return static_cast<int64_t>(uint64_t{le32(p)} | uint64_t{le32(p + 4)} << 32);
}

constexpr int32_t kWrittenVersion = 4;
constexpr int64_t kHeaderSize = 16;
constexpr int64_t kShortHeaderSize = 8;  // versions 1 and 2
constexpr int64_t kEntrySize = 32;
constexpr int64_t kVersion1EntrySize = 80;
constexpr int32_t kVersion1ReferenceSlots = 15;
constexpr int64_t kStateSize = 260;
constexpr uint32_t kNoTemporalReferenceStored = 0xFFFF;
constexpr int32_t kMaxTemporalReference = 1023;

FrameIndexEntry entryFrom(const uint8_t* p, uint8_t flags) {
  FrameIndexEntry e;
  e.streamPosition = le64(p);
  e.codedSize = le32(p + 8);
  e.displayNumber = static_cast<int32_t>(le32(p + 12));
  const int32_t type = flags & ~kKeyFlag;
  e.pictureFlags = static_cast<uint8_t>((type >= kEntryTypeI && type <= kEntryTypeB ? type : kEntryTypeOther) |
                                        (flags & kKeyFlag));
  return e;
}

}  // namespace

int32_t FrameIndex::serialisedSize() const {
  return static_cast<int32_t>(kHeaderSize + kEntrySize * static_cast<int64_t>(all_.size()) + 4 +
                              kStateSize * static_cast<int64_t>(states_.size()));
}

void FrameIndex::serialise(uint8_t*& out) const {
  putLe32(out, kWrittenVersion);
  putLe32(out + 4, static_cast<uint32_t>(all_.size()));
  putLe32(out + 8, static_cast<uint32_t>(startFrameOffset_));
  putLe32(out + 12, frameCount_);
  out += kHeaderSize;
  for (const auto& [number, e] : all_) {
    putLe32(out, static_cast<uint32_t>(e.streamPosition));
    putLe32(out + 4, static_cast<uint32_t>(static_cast<uint64_t>(e.streamPosition) >> 32));
    putLe32(out + 8, e.codedSize);
    putLe32(out + 12, static_cast<uint32_t>(e.displayNumber));
    putLe32(out + 16, static_cast<uint32_t>(e.forwardRef));
    putLe32(out + 20, static_cast<uint32_t>(e.backwardRef));
    out[24] = e.pictureFlags;
    out[25] = e.entryFlags;
    const uint32_t tr = e.temporalReference < 0 ? kNoTemporalReferenceStored
                                                : static_cast<uint32_t>(e.temporalReference);
    out[26] = static_cast<uint8_t>(tr);
    out[27] = static_cast<uint8_t>(tr >> 8);
    putLe32(out + 28, static_cast<uint32_t>(e.codingState));
    out += kEntrySize;
  }
  putLe32(out, static_cast<uint32_t>(states_.size()));
  out += 4;
  for (const CodingState& state : states_) {
    std::memset(out, 0, 4);
    out[0] = state.flags;
    std::memcpy(out + 4, state.matrices, sizeof state.matrices);
    out += kStateSize;
  }
}

// Version 4: everything is checked before anything is added, so a damaged
// block leaves the index empty and the file is indexed instead.
int32_t FrameIndex::loadVersion4(const uint8_t*& data, int32_t length) {
  const int64_t n = static_cast<int32_t>(le32(data + 4));
  const int64_t statesAt = kHeaderSize + kEntrySize * n;
  if (n < 0 || length < statesAt + 4) return kSeekDataRejected;
  const int64_t stateCount = static_cast<int32_t>(le32(data + statesAt));
  if (stateCount < 0 || length < statesAt + 4 + kStateSize * stateCount) return kSeekDataRejected;
  for (int64_t i = 0; i < n; ++i) {
    const uint8_t* p = data + kHeaderSize + kEntrySize * i;
    const uint32_t tr = uint32_t{p[26]} | uint32_t{p[27]} << 8;
    const int32_t state = static_cast<int32_t>(le32(p + 28));
    if (tr != kNoTemporalReferenceStored && tr > kMaxTemporalReference) return kSeekDataRejected;
    if (state < kFirstSequenceState || state >= stateCount) return kSeekDataRejected;
  }
  setStartFrameOffset(static_cast<int32_t>(le32(data + 8)));
  frameCount_ = le32(data + 12);
  const uint8_t* state = data + statesAt + 4;
  for (int64_t k = 0; k < stateCount; ++k, state += kStateSize) {
    CodingState s;
    s.flags = state[0];
    std::memcpy(s.matrices, state + 4, sizeof s.matrices);
    states_.push_back(s);
  }
  for (int64_t i = 0; i < n; ++i) {
    const uint8_t* p = data + kHeaderSize + kEntrySize * i;
    FrameIndexEntry e = entryFrom(p, p[24]);
    e.forwardRef = static_cast<int32_t>(le32(p + 16));
    e.backwardRef = static_cast<int32_t>(le32(p + 20));
    e.entryFlags = p[25];
    const uint32_t tr = uint32_t{p[26]} | uint32_t{p[27]} << 8;
    e.temporalReference = tr == kNoTemporalReferenceStored ? kUnknownTemporalReference : static_cast<int32_t>(tr);
    e.codingState = static_cast<int32_t>(le32(p + 28));
    addFrame(e);
  }
  data = state;
  setStartFrameOffset(startFrameOffset_);
  finalise(static_cast<int32_t>(frameCount_));
  return 0;
}

int32_t FrameIndex::load(const uint8_t*& data, int32_t length) {
  if (length < kShortHeaderSize) return kSeekDataRejected;
  clear();
  const int32_t version = static_cast<int32_t>(le32(data));
  if (version == kWrittenVersion) {
    if (length < kHeaderSize) return kSeekDataRejected;
    return loadVersion4(data, length);
  }
  const int32_t n = static_cast<int32_t>(le32(data + 4));
  const int64_t entrySize = version == 1 ? kVersion1EntrySize : kEntrySize;
  const int64_t header = version <= 2 ? kShortHeaderSize : kHeaderSize;  // 0 and negative read as version 2
  // Every version but 1 is checked against a 16-byte header, version 2 too.
  const int64_t needed = (version == 1 ? kShortHeaderSize : kHeaderSize) + entrySize * n;
  if (n < 0 || length < needed) return kSeekDataRejected;

  if (version >= 3) {
    setStartFrameOffset(static_cast<int32_t>(le32(data + 8)));
    frameCount_ = le32(data + 12);
  }
  const uint8_t* p = data + header;
  AnchorList anchors;
  for (int32_t i = 0; i < n; ++i, p += entrySize) {
    anchors.clear();
    FrameIndexEntry e;
    if (version == 1) {
      e = entryFrom(p, p[76]);
      for (int slot = 0; slot < kVersion1ReferenceSlots; ++slot) {
        const int32_t ref = static_cast<int32_t>(le32(p + 16 + 4 * slot));
        if (ref != kNoReference) anchors.push_back(ref);
      }
    } else {
      // Bytes 25..31 of these entries are undefined: never read.
      e = entryFrom(p, p[24]);
      const int32_t forward = static_cast<int32_t>(le32(p + 16));
      const int32_t backward = static_cast<int32_t>(le32(p + 20));
      if (forward != kNoReference) anchors.push_back(forward);
      if (backward != kNoReference) anchors.push_back(backward);
    }
    referencesFromAnchors(anchors, e.displayNumber, e.forwardRef, e.backwardRef);
    addFrame(e);
  }
  data = p;
  // Versions 1 and 2 carry no frame count: they are finalised without a
  // limit, so the count is the number of entries.
  setStartFrameOffset(startFrameOffset_);
  finalise(version >= 3 ? static_cast<int32_t>(frameCount_) : -1);
  return 0;
}

}  // namespace quarlin
