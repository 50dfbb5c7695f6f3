// The table of indexed pictures, keyed by display number, with a second
// table of key entries, the coding states the pictures are decoded with, the
// start frame offset and the frame count.
#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "foundation/kelso/stl_allocator.h"
#include "index/coding_state.h"

namespace quarlin {

constexpr uint8_t kKeyFlag = 0x40;

// pictureFlags picture types (the low bits; 0 for any other coding type).
constexpr int32_t kEntryTypeOther = 0;
constexpr int32_t kEntryTypeI = 1;
constexpr int32_t kEntryTypeP = 2;
constexpr int32_t kEntryTypeB = 3;

// A reference display number for none.
constexpr int32_t kNoReference = -1;
constexpr int32_t kNoFrameLimit = -1;

// temporalReference of an entry restored from a block that does not record
// it: the frame request then counts from the key entries.
constexpr int32_t kUnknownTemporalReference = -1;
// codingState of an entry decoded with the file's first sequence header as
// parsed at open (blocks that record no coding states).
constexpr int32_t kFirstSequenceState = -1;

// entryFlags bits.
constexpr uint8_t kSingleField = 0x01;  // a field picture whose other field is missing

struct FrameIndexEntry {
  int64_t streamPosition = 0;  // where reading resumes to deliver this picture
  uint32_t codedSize = 0;      // byte length of the picture's unit (the first field's)
  int32_t displayNumber = 0;
  int32_t forwardRef = -1;
  int32_t backwardRef = -1;
  uint8_t pictureFlags = 0;  // type (1 I, 2 P, 3 B, 0 other) | 0x40 for a key entry
  uint8_t entryFlags = 0;
  int32_t temporalReference = kUnknownTemporalReference;  // 0..1023
  int32_t codingState = kFirstSequenceState;              // index into the coding states

  int32_t pictureType() const { return pictureFlags & ~kKeyFlag; }
  bool isKey() const { return (pictureFlags & kKeyFlag) != 0; }
};

using AnchorList = std::vector<int32_t, Kelso::STLAllocator<int32_t>>;

// The references of a picture from a snapshot of anchor display numbers in
// decode order: the last one is the backward reference when it is displayed
// later than the picture (the one before it is then the forward reference),
// otherwise the forward reference. Seek data of the older versions stores
// references in this form.
void referencesFromAnchors(const AnchorList& anchors, int32_t displayNumber, int32_t& forwardRef,
                           int32_t& backwardRef);

class FrameIndex {
 public:
  using Map = std::map<int32_t, FrameIndexEntry, std::less<int32_t>,
                       Kelso::STLAllocator<std::pair<const int32_t, FrameIndexEntry>>>;
  using StateTable = std::vector<CodingState, Kelso::STLAllocator<CodingState>>;

  // Inserts the entry unless its display number is present (the first entry
  // stays); key entries go into the key table as well, also when the entry
  // itself was not inserted.
  void addFrame(const FrameIndexEntry& entry);
  const FrameIndexEntry* findEntry(int32_t frame) const;
  // frame minus the greatest key entry <= frame: the temporal_reference to
  // look for when the entry does not record its own. With no such key entry,
  // a value no temporal_reference has.
  int32_t keyDistance(int32_t frame) const;
  // 0, or -8 when the frame is not indexed (both outputs -1 then).
  int32_t dependencies(int32_t frame, int32_t& forwardRef, int32_t& backwardRef) const;
  void setStartFrameOffset(int32_t value);
  void getStartFrameOffset(int32_t& first, int32_t& second) const {
    first = startFrameOffset_;
    second = startFrameOffsetCopy_;
  }
  uint32_t frameCount() const { return frameCount_; }
  // The frame count from the entries, the start offset and `limit`
  // (kNoFrameLimit: none).
  void finalise(int32_t limit);

  // The index of `state` in the table, added when it is new.
  int32_t internCodingState(const CodingState& state);
  const CodingState* codingState(int32_t index) const;

  int32_t serialisedSize() const;
  // Writes the index part (this library's version 4); advances `out`.
  void serialise(uint8_t*& out) const;
  // Restores an index part of version 1, 2, 3 or 4 into this empty index;
  // advances `data`. 0, or -5 when the block is rejected (nothing added).
  int32_t load(const uint8_t*& data, int32_t length);

  const Map& entries() const { return all_; }
  const Map& keyEntries() const { return keys_; }
  const StateTable& codingStates() const { return states_; }

 private:
  int32_t loadVersion4(const uint8_t*& data, int32_t length);
  void clear();

  Map all_;
  Map keys_;
  StateTable states_;
  int32_t startFrameOffset_ = 0;
  int32_t startFrameOffsetCopy_ = 0;
  uint32_t frameCount_ = 0;
};

// A value no temporal_reference (10 bits) can take.
constexpr int32_t kNoTemporalReference = -0x7FFF;
constexpr int32_t kFrameNotIndexed = -8;
constexpr int32_t kSeekDataRejected = -5;

}  // namespace quarlin
