// The frame index: duplicates and key entries, the frame count and start
// offset; its serialised form (versions 1, 2 and 3 read as the format
// defines them, version 4 written and read).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "index/frame_index.h"

namespace quarlin {
namespace {

FrameIndexEntry entry(int32_t display, uint8_t flags = kEntryTypeB, int64_t position = 0,
                      uint32_t size = 0, int32_t forward = -1, int32_t backward = -1) {
  FrameIndexEntry e;
  e.displayNumber = display, e.pictureFlags = flags, e.streamPosition = position, e.codedSize = size;
  e.forwardRef = forward, e.backwardRef = backward;
  return e;
}

TEST(FrameIndexTest, FirstEntryOfADisplayNumberStaysAndKeysAreStillRecorded) {
  FrameIndex index;
  index.addFrame(entry(5, kEntryTypeP, 100, 10, 1));
  index.addFrame(entry(5, kEntryTypeB | kKeyFlag, 200, 20));
  index.addFrame(entry(6, kEntryTypeI | kKeyFlag, 300, 30));
  ASSERT_EQ(index.entries().size(), 2u);
  EXPECT_EQ(index.findEntry(5)->streamPosition, 100);
  EXPECT_EQ(index.findEntry(5)->forwardRef, 1);
  ASSERT_EQ(index.keyEntries().size(), 2u);
  EXPECT_EQ(index.keyEntries().at(5).pictureFlags, kEntryTypeB | kKeyFlag);
  EXPECT_EQ(index.findEntry(7), nullptr);
  int32_t forward = 0, backward = 0;
  EXPECT_EQ(index.dependencies(7, forward, backward), kFrameNotIndexed);
  EXPECT_EQ(forward, -1);
  EXPECT_EQ(backward, -1);
}

TEST(FrameIndexTest, FinaliseCountsFramesFromTheDisplayNumbers) {
  auto range = [](int32_t first, int32_t last, std::vector<int32_t> more = {}) {
    std::vector<int32_t> v;
    for (int32_t d = first; d <= last; ++d) v.push_back(d);
    v.insert(v.end(), more.begin(), more.end());
    return v;
  };
  const struct {
    std::vector<int32_t> displays;
    int32_t startOffset, limit;
    uint32_t count;
    int32_t storedOffset;
  } cases[] = {
      {range(0, 99), 2, -1, 98, 2},
      {range(0, 99), 0, 50, 50, 0},
      {range(0, 99), -3, 97, 97, 0},     // a negative offset is stored as 0
      {range(0, 98, {100}), 0, -1, 99, 0},  // one picture missing
      {range(0, 3, {6, 7}), 0, -1, 4, 0},   // two numbered past the end
      {{5}, 0, -1, 1, 0},                   // the smallest entry is never counted out
      {{}, 0, -1, 0, 0},
      {range(0, 2), 5, -1, 3, 5},  // an offset beyond the entries leaves the count alone
  };
  for (const auto& c : cases) {
    FrameIndex index;
    for (int32_t d : c.displays) index.addFrame(entry(d));
    EXPECT_EQ(index.frameCount(), 0u);
    index.setStartFrameOffset(c.startOffset);
    index.finalise(c.limit);
    EXPECT_EQ(index.frameCount(), c.count) << c.displays.size() << " entries, offset " << c.startOffset;
    int32_t first = 9, second = 9;
    index.getStartFrameOffset(first, second);
    EXPECT_EQ(first, c.storedOffset);
    EXPECT_EQ(second, c.storedOffset);
  }
}

// --- Seek data ---------------------------------------------------------------

void putLe32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// An index part of another writer: `version`, N, (from version 3) offset
// and count, then N entries of the version's size with display number i,
// coded size 50 + i, no references; the bytes the format leaves undefined
// hold `undefined`.
std::vector<uint8_t> indexPart(int32_t version, int32_t n, int32_t offset = 0, uint32_t count = 0,
                               uint8_t undefined = 0xEE) {
  std::vector<uint8_t> b;
  putLe32(b, static_cast<uint32_t>(version));
  putLe32(b, static_cast<uint32_t>(n));
  if (version >= 3) {
    putLe32(b, static_cast<uint32_t>(offset));
    putLe32(b, count);
  }
  for (int32_t i = 0; i < n; ++i) {
    const size_t at = b.size();
    putLe32(b, static_cast<uint32_t>(1000 * i));
    putLe32(b, 0);
    putLe32(b, 50u + static_cast<uint32_t>(i));
    putLe32(b, static_cast<uint32_t>(i));
    for (int slot = 0; slot < (version == 1 ? 15 : 2); ++slot) putLe32(b, 0xFFFFFFFFu);
    b.push_back(i == 0 ? 0x41 : 0x02);
    b.resize(at + (version == 1 ? 80 : 32), undefined);
  }
  return b;
}

// A version-4 block written by the index itself.
std::vector<uint8_t> written(const FrameIndex& index) {
  std::vector<uint8_t> block(static_cast<size_t>(index.serialisedSize()), 0xAB);
  uint8_t* out = block.data();
  index.serialise(out);
  EXPECT_EQ(out, block.data() + block.size());
  return block;
}

FrameIndex sample() {
  FrameIndex index;
  CodingState flat;
  std::fill(&flat.matrices[0][0], &flat.matrices[0][0] + 256, 16);
  CodingState other = flat;
  other.flags = CodingState::kProgressive;
  other.matrices[2][7] = 99;
  EXPECT_EQ(index.internCodingState(flat), 0);
  EXPECT_EQ(index.internCodingState(other), 1);
  EXPECT_EQ(index.internCodingState(flat), 0);
  const int64_t far = int64_t{5} << 32;
  const FrameIndexEntry entries[] = {
      entry(0, kEntryTypeI | kKeyFlag, far + 17, 9000), entry(3, kEntryTypeP, far + 9017, 4000, 0),
      entry(1, kEntryTypeB, far + 13017, 1500, 0, 3),    entry(2, kEntryTypeB, 77, 1400, -1, 3),
      entry(4, kEntryTypeOther, 101, 10)};
  int32_t tr = 1021;
  for (FrameIndexEntry e : entries) {
    e.temporalReference = e.displayNumber == 4 ? kUnknownTemporalReference : tr++ % 1024;
    e.codingState = e.displayNumber % 2;
    e.entryFlags = e.displayNumber == 3 ? kSingleField : 0;
    index.addFrame(e);
  }
  index.setStartFrameOffset(2);
  index.finalise(-1);
  return index;
}

int32_t load(FrameIndex& index, const std::vector<uint8_t>& block, int64_t length) {
  const uint8_t* p = block.data();
  return index.load(p, static_cast<int32_t>(length));
}

TEST(SeekDataTest, LengthMustHoldTheEntries) {
  const std::vector<uint8_t> four = written(sample());
  const struct {
    std::vector<uint8_t> block;
    int64_t length;  // relative to the block as built
    int32_t result;
    size_t entries;
  } cases[] = {
      {indexPart(3, 4), 0, 0, 4},   {indexPart(3, 4), -1, -5, 0}, {indexPart(3, 0), 0, 0, 0},
      {indexPart(7, 2), 0, 0, 2},   {indexPart(3, -1), 64, -5, 0},
      // Version 2 has an 8-byte header but is checked against 16.
      {indexPart(2, 3), 0, -5, 0},  {indexPart(2, 3), 7, -5, 0},  {indexPart(2, 3), 8, 0, 3},
      {indexPart(0, 1), 8, 0, 1},   {indexPart(-4, 1), 8, 0, 1},
      {indexPart(1, 2), 0, 0, 2},   {indexPart(1, 2), -1, -5, 0},
      {four, 0, 0, 5},              {four, -1, -5, 0},            {four, -260, -5, 0},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> block = c.block;
    const int64_t length = static_cast<int64_t>(block.size()) + c.length;
    block.resize(std::max<size_t>(block.size(), static_cast<size_t>(length)), 0);
    FrameIndex index;
    const uint8_t* p = block.data();
    EXPECT_EQ(index.load(p, static_cast<int32_t>(length)), c.result) << "version " << block[0];
    EXPECT_EQ(index.entries().size(), c.entries) << "version " << block[0];
    EXPECT_EQ(p, block.data() + (c.result == 0 ? c.block.size() : 0));
  }
}

TEST(SeekDataTest, OlderVersionsReadAsTheFormatDefinesThem) {
  for (int32_t version : {1, 2}) {
    std::vector<uint8_t> block = indexPart(version, 5);
    block.resize(block.size() + 8, 0);
    FrameIndex index;
    ASSERT_EQ(load(index, block, static_cast<int64_t>(block.size())), 0);
    EXPECT_EQ(index.frameCount(), 5u) << "no count stored: counted without a limit";
  }
  FrameIndex three;
  const std::vector<uint8_t> block = indexPart(3, 5, -2, 4);
  ASSERT_EQ(load(three, block, static_cast<int64_t>(block.size())), 0);
  EXPECT_EQ(three.frameCount(), 4u);
  int32_t first = 9, second = 9;
  three.getStartFrameOffset(first, second);
  EXPECT_EQ(first, 0);  // clamped

  // Version 1: references in slots, flags 0x05 are type 0.
  std::vector<uint8_t> one = indexPart(1, 3);
  const int32_t twelve = 12, twenty = 20, fifteen = 15;
  std::memcpy(one.data() + 8 + 80 + 16 + 4 * 3, &twelve, 4);
  std::memcpy(one.data() + 8 + 80 + 16 + 4 * 9, &twenty, 4);
  std::memcpy(one.data() + 8 + 80 + 12, &fifteen, 4);
  one[8 + 160 + 76] = 0x05;
  FrameIndex index;
  ASSERT_EQ(load(index, one, static_cast<int64_t>(one.size())), 0);
  EXPECT_EQ(index.findEntry(15)->forwardRef, 12);
  EXPECT_EQ(index.findEntry(15)->backwardRef, 20);
  EXPECT_EQ(index.findEntry(0)->pictureFlags, 0x41);
  EXPECT_EQ(index.findEntry(2)->pictureFlags, 0x00);
  EXPECT_EQ(index.keyEntries().size(), 1u);
}

// Bytes 25..31 of a version-3 entry are undefined: whatever they hold, the
// block gives the same answers (the frames are found through the key entries).
TEST(SeekDataTest, Version3UndefinedBytesAreNeverRead) {
  std::vector<FrameIndexEntry> seen[2];
  int k = 0;
  for (uint8_t undefined : {uint8_t{0x00}, uint8_t{0x01}}) {
    const std::vector<uint8_t> block = indexPart(3, 6, 0, 6, undefined);
    FrameIndex index;
    ASSERT_EQ(load(index, block, static_cast<int64_t>(block.size())), 0);
    for (const auto& [number, e] : index.entries()) {
      EXPECT_EQ(e.temporalReference, kUnknownTemporalReference);
      EXPECT_EQ(e.codingState, kFirstSequenceState);
      EXPECT_EQ(e.entryFlags, 0);
      seen[k].push_back(e);
    }
    EXPECT_EQ(index.keyDistance(4), 4);
    ++k;
  }
  ASSERT_EQ(seen[0].size(), seen[1].size());
  for (size_t i = 0; i < seen[0].size(); ++i) EXPECT_EQ(seen[0][i].streamPosition, seen[1][i].streamPosition);
}

TEST(SeekDataTest, Version4RoundTripIsByteIdentical) {
  const FrameIndex index = sample();
  const std::vector<uint8_t> first = written(index);
  EXPECT_EQ(first.size(), 16u + 32u * 5 + 4 + 260u * 2);
  FrameIndex loaded;
  ASSERT_EQ(load(loaded, first, static_cast<int64_t>(first.size())), 0);
  ASSERT_EQ(loaded.entries().size(), index.entries().size());
  for (const auto& [number, e] : index.entries()) {
    const FrameIndexEntry* l = loaded.findEntry(number);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(std::tie(l->streamPosition, l->codedSize, l->forwardRef, l->backwardRef, l->pictureFlags,
                       l->entryFlags, l->temporalReference, l->codingState),
              std::tie(e.streamPosition, e.codedSize, e.forwardRef, e.backwardRef, e.pictureFlags,
                       e.entryFlags, e.temporalReference, e.codingState));
  }
  EXPECT_TRUE(loaded.codingStates() == index.codingStates());
  EXPECT_EQ(loaded.frameCount(), 3u);
  EXPECT_EQ(written(loaded), first);

  // A damaged block is rejected as a whole: a state index or a
  // temporal_reference out of range.
  for (const auto& [at, value] : {std::pair{16 + 28, 2}, std::pair{16 + 32 + 26, 0x0400}}) {
    std::vector<uint8_t> damaged = first;
    std::memcpy(damaged.data() + at, &value, 2);
    FrameIndex rejected;
    EXPECT_EQ(load(rejected, damaged, static_cast<int64_t>(damaged.size())), kSeekDataRejected);
    EXPECT_TRUE(rejected.entries().empty());
  }
}

}  // namespace
}  // namespace quarlin
