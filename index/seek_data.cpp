// The index part of the seek data: version 3 is written; versions 1, 2 and 3
// are read. Little-endian throughout.
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

constexpr int32_t kVersion1EntrySize = 80;

// Bytes 25..31 of a version-3 entry carry the sequence locator: a flag byte
// (1 when a sequence header other than the file's first is in force) and
// its 48-bit stream position. Blocks that leave them zero mean the first.
constexpr int64_t kLocatorLimit = int64_t{1} << 48;

void putSequenceLocator(uint8_t* p, int64_t locator) {
  std::memset(p, 0, 7);
  if (locator < 0 || locator >= kLocatorLimit) return;
  p[0] = 1;
  for (int i = 0; i < 6; ++i) p[1 + i] = static_cast<uint8_t>(locator >> (8 * i));
}

int64_t sequenceLocatorAt(const uint8_t* p) {
  if (p[0] != 1) return -1;
  int64_t locator = 0;
  for (int i = 0; i < 6; ++i) locator |= int64_t{p[1 + i]} << (8 * i);
  return locator;
}
constexpr int32_t kEntrySize = 32;

FrameCandidate candidateFrom(const uint8_t* p, uint8_t flags) {
  FrameCandidate c;
  c.streamPosition = le64(p);
  c.codedSize = le32(p + 8);
  c.displayNumber = static_cast<int32_t>(le32(p + 12));
  c.key = (flags & kKeyFlag) != 0;
  const int32_t type = flags & ~kKeyFlag;
  c.pictureType = type >= 1 && type <= 3 ? type : 0;
  return c;
}

}  // namespace

void FrameIndex::serialise(uint8_t*& out) const {
  putLe32(out, 3);
  putLe32(out + 4, static_cast<uint32_t>(all_.size()));
  putLe32(out + 8, static_cast<uint32_t>(startFrameOffset_));
  putLe32(out + 12, frameCount_);
  out += 16;
  for (const auto& [number, e] : all_) {
    putLe32(out, static_cast<uint32_t>(e.streamPosition));
    putLe32(out + 4, static_cast<uint32_t>(static_cast<uint64_t>(e.streamPosition) >> 32));
    putLe32(out + 8, e.codedSize);
    putLe32(out + 12, static_cast<uint32_t>(e.displayNumber));
    putLe32(out + 16, static_cast<uint32_t>(e.forwardRef));
    putLe32(out + 20, static_cast<uint32_t>(e.backwardRef));
    out[24] = e.pictureFlags;
    putSequenceLocator(out + 25, e.sequenceLocator);
    out += kEntrySize;
  }
}

int32_t FrameIndex::load(const uint8_t*& data, int32_t length) {
  if (length < 8) return -5;
  const int32_t version = static_cast<int32_t>(le32(data));
  const int32_t n = static_cast<int32_t>(le32(data + 4));
  const int64_t entrySize = version == 1 ? kVersion1EntrySize : kEntrySize;
  const int64_t header = version <= 2 ? 8 : 16;  // 0 and negative read as version 2
  // Every version but 1 is checked against a 16-byte header, version 2 too.
  const int64_t needed = (version == 1 ? 8 : 16) + entrySize * n;
  if (n < 0 || length < needed) return -5;

  if (version >= 3) {
    setStartFrameOffset(static_cast<int32_t>(le32(data + 8)));
    frameCount_ = le32(data + 12);
  }
  const uint8_t* p = data + header;
  for (int32_t i = 0; i < n; ++i, p += entrySize) {
    if (version == 1) {
      FrameCandidate c = candidateFrom(p, p[76]);
      for (int slot = 0; slot < 15; ++slot) {
        const int32_t ref = static_cast<int32_t>(le32(p + 16 + 4 * slot));
        if (ref != -1) c.anchors.push_back(ref);
      }
      addFrame(c);
    } else {
      FrameCandidate c = candidateFrom(p, p[24]);
      if (version >= 3) c.sequenceLocator = sequenceLocatorAt(p + 25);
      const int32_t forward = static_cast<int32_t>(le32(p + 16));
      const int32_t backward = static_cast<int32_t>(le32(p + 20));
      if (forward != -1) c.anchors.push_back(forward);
      if (backward != -1) c.anchors.push_back(backward);
      addFrame(c);
    }
  }
  data = p;
  // Versions 1 and 2 carry no frame count: they are finalised without a
  // limit, so the count is the number of entries.
  setStartFrameOffset(startFrameOffset_);
  finalise(version >= 3 ? static_cast<int32_t>(frameCount_) : -1);
  return 0;
}

}  // namespace quarlin
