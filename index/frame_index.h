// The table of indexed pictures, keyed by display number, with a second
// table of key entries, the start frame offset and the frame count.
#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "api/kelso/stl_allocator.h"

namespace quarlin {

constexpr uint8_t kKeyFlag = 0x40;

struct FrameIndexEntry {
  int64_t streamPosition = 0;  // where reading resumes to deliver this picture
  uint32_t codedSize = 0;      // byte length of the picture's unit
  int32_t displayNumber = 0;
  int32_t forwardRef = -1;
  int32_t backwardRef = -1;
  uint8_t pictureFlags = 0;  // type (1 I, 2 P, 3 B, 0 other) | 0x40 for a key entry
  // Where the sequence header in force for this picture can be read when it
  // is not the file's first one: the stream position of the picture whose
  // unit holds it. -1 for the first sequence header.
  int64_t sequenceLocator = -1;

  int32_t pictureType() const { return pictureFlags & ~kKeyFlag; }
  bool isKey() const { return (pictureFlags & kKeyFlag) != 0; }
};

using AnchorList = std::vector<int32_t, Kelso::STLAllocator<int32_t>>;

// A picture offered to the index by the scan or by loading seek data.
struct FrameCandidate {
  int64_t streamPosition = 0;
  uint32_t codedSize = 0;
  int32_t displayNumber = 0;
  int32_t pictureType = 0;
  bool key = false;
  int64_t sequenceLocator = -1;
  AnchorList anchors;  // reference display numbers in decode order
};

class FrameIndex {
 public:
  using Map = std::map<int32_t, FrameIndexEntry, std::less<int32_t>,
                       Kelso::STLAllocator<std::pair<const int32_t, FrameIndexEntry>>>;

  // Derives the references from the candidate's anchors and inserts it
  // unless its display number is present (the first entry stays).
  void addFrame(const FrameCandidate& candidate);
  const FrameIndexEntry* findEntry(int32_t frame) const;
  // frame minus the greatest key entry <= frame: the temporal_reference to
  // look for. With no such key entry, a value no temporal_reference has.
  int32_t keyDistance(int32_t frame) const;
  // 0, or -8 when the frame is not indexed (both outputs -1 then).
  int32_t dependencies(int32_t frame, int32_t& forwardRef, int32_t& backwardRef) const;
  void setStartFrameOffset(int32_t value);
  void getStartFrameOffset(int32_t& first, int32_t& second) const {
    first = startFrameOffset_;
    second = startFrameOffsetCopy_;
  }
  uint32_t frameCount() const { return frameCount_; }
  void finalise(int32_t limit);

  int32_t serialisedSize() const { return 16 + 32 * static_cast<int32_t>(all_.size()); }
  // Writes the version-3 index part; advances `out`.
  void serialise(uint8_t*& out) const;
  // Restores an index part of version 1, 2 or 3 into this empty index;
  // advances `data`. 0, or -5 when the block is rejected (nothing added).
  int32_t load(const uint8_t*& data, int32_t length);

  const Map& entries() const { return all_; }
  const Map& keyEntries() const { return keys_; }

 private:
  Map all_;
  Map keys_;
  int32_t startFrameOffset_ = 0;
  int32_t startFrameOffsetCopy_ = 0;
  uint32_t frameCount_ = 0;
};

// A value no temporal_reference (10 bits) can take.
constexpr int32_t kNoTemporalReference = -0x7FFF;

}  // namespace quarlin
