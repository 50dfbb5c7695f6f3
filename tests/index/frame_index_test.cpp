// The frame index: the frame count and start offset; its
// serialised form (versions 1, 2 and 3 of another writer read as the format
// defines them, version 4 with positions beyond 4 GiB written and read).
// Round trips of the corpus streams' seek data are in tests/decode_dispatch.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "index/frame_index.h"
#include "tests/support/exported_session.h"

namespace quarlin {
namespace {

FrameIndexEntry entry(int32_t display, uint8_t flags = kEntryTypeB, int64_t position = 0, int32_t forward = -1,
                      int32_t backward = -1) {
  FrameIndexEntry e;
  e.displayNumber = display, e.pictureFlags = flags, e.streamPosition = position, e.codedSize = 50;
  e.forwardRef = forward, e.backwardRef = backward;
  return e;
}

TEST(FrameIndexTest, FinaliseCountsFramesFromTheDisplayNumbers) {
  auto range = [](int32_t first, int32_t last, std::vector<int32_t> more = {}) {
    for (int32_t d = last; d >= first; --d) more.insert(more.begin(), d);
    return more;
  };
  const struct {
    std::vector<int32_t> displays;
    int32_t startOffset, limit;
    uint32_t count;
    int32_t storedOffset;
  } cases[] = {
      {range(0, 99), 2, -1, 98, 2},         {range(0, 99), 0, 50, 50, 0},
      {range(0, 99), -3, 97, 97, 0},        // a negative offset is stored as 0
      {range(0, 98, {100}), 0, -1, 99, 0},  // one picture missing
      {range(0, 3, {6, 7}), 0, -1, 4, 0},   // two numbered past the end
      {{5}, 0, -1, 1, 0},                   // the smallest entry is never counted out
      {{}, 0, -1, 0, 0},                    {range(0, 2), 5, -1, 3, 5},  // offset beyond the entries
  };
  for (const auto& c : cases) {
    FrameIndex index;
    for (int32_t d : c.displays) index.addFrame(entry(d));
    index.setStartFrameOffset(c.startOffset);
    index.finalise(c.limit);
    EXPECT_EQ(index.frameCount(), c.count) << c.displays.size() << " entries, offset " << c.startOffset;
    int32_t first = 9, second = 9;
    index.getStartFrameOffset(first, second);
    EXPECT_EQ(std::pair(first, second), std::pair(c.storedOffset, c.storedOffset));
  }
}

// --- Seek data ---------------------------------------------------------------

void putLe32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// An index part of another writer: `version`, N, (from version 3) offset
// and count, then N entries of the version's size: position 1000 i, coded
// size 50 + i, display number i, no references, flags 0x41 for the first and
// 0x02 for the others; the bytes the format leaves undefined hold `undefined`.
std::vector<uint8_t> indexPart(int32_t version, int32_t n, int32_t offset = 0, uint32_t count = 0,
                               uint8_t undefined = 0xEE) {
  std::vector<uint8_t> b;
  putLe32(b, static_cast<uint32_t>(version));
  putLe32(b, static_cast<uint32_t>(n));
  if (version >= 3) putLe32(b, static_cast<uint32_t>(offset)), putLe32(b, count);
  for (int32_t i = 0; i < n; ++i) {
    const size_t at = b.size();
    for (uint32_t v : {1000u * i, 0u, 50u + i, static_cast<uint32_t>(i)}) putLe32(b, v);
    for (int slot = 0; slot < (version == 1 ? 15 : 2); ++slot) putLe32(b, 0xFFFFFFFFu);
    b.push_back(i == 0 ? 0x41 : 0x02);
    b.resize(at + (version == 1 ? 80 : 32), undefined);
  }
  return b;
}

std::vector<uint8_t> written(const FrameIndex& index) {
  std::vector<uint8_t> block(static_cast<size_t>(index.serialisedSize()), 0xAB);
  uint8_t* out = block.data();
  index.serialise(out);
  EXPECT_EQ(out, block.data() + block.size());
  return block;
}

int32_t load(FrameIndex& index, const std::vector<uint8_t>& block, int64_t length = -1) {
  const uint8_t* p = block.data();
  return index.load(p, static_cast<int32_t>(length < 0 ? static_cast<int64_t>(block.size()) : length));
}

// Version 4 as the index writes it: a position past 4 GiB, temporal_reference
// values, a single field, one coding state taken once.
std::vector<uint8_t> versionFour() {
  FrameIndex index;
  CodingState state;
  std::fill(&state.matrices[0][0], &state.matrices[0][0] + 256, 16);
  EXPECT_EQ(index.internCodingState(state), 0);
  EXPECT_EQ(index.internCodingState(state), 0);
  int32_t tr = 1022;
  for (FrameIndexEntry e : {entry(0, kEntryTypeI | kKeyFlag, (int64_t{5} << 32) + 17), entry(2, kEntryTypeP, 77, 0),
                            entry(1, kEntryTypeB, 101, 0, 2)}) {
    e.temporalReference = tr++ % 1024, e.codingState = 0, e.entryFlags = e.displayNumber == 2 ? kSingleField : 0;
    index.addFrame(e);
  }
  index.finalise(-1);
  return written(index);
}

// Version 4 with the two bytes at `at` set to `value`.
std::vector<uint8_t> damaged(std::vector<uint8_t> four, size_t at, uint16_t value) {
  std::memcpy(four.data() + at, &value, 2);
  return four;
}

// A block shorter than its entries, or (version 4) with a state index or a
// temporal_reference out of range, is rejected whole; version 4 read whole
// is written again byte for byte.
TEST(SeekDataTest, LengthMustHoldTheEntries) {
  using namespace test::seekdata;
  const std::vector<uint8_t> four = versionFour();
  ASSERT_EQ(four.size(), kHeader + 3 * kEntry + kStateCount + kState);
  const struct {
    std::vector<uint8_t> block;
    int64_t length;  // relative to the block as built
    int32_t result;
    size_t entries;
  } cases[] = {
      {indexPart(3, 4), 0, 0, 4},  {indexPart(3, 4), -1, -5, 0}, {indexPart(3, 0), 0, 0, 0},
      {indexPart(7, 2), 0, 0, 2},  {indexPart(3, -1), 64, -5, 0},
      // Version 2 has an 8-byte header but is checked against 16.
      {indexPart(2, 3), 0, -5, 0}, {indexPart(2, 3), 7, -5, 0},  {indexPart(2, 3), 8, 0, 3},
      {indexPart(0, 1), 8, 0, 1},  {indexPart(-4, 1), 8, 0, 1},  {indexPart(1, 2), 0, 0, 2},
      {indexPart(1, 2), -1, -5, 0}, {four, 0, 0, 3},             {four, -1, -5, 0},
      {four, -int64_t{kState}, -5, 0}, {damaged(four, kHeader + kCodingState, 1), 0, -5, 0},
      {damaged(four, kHeader + kEntry + kTemporalReference, 0x400), 0, -5, 0},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> block = c.block;
    const int64_t length = static_cast<int64_t>(block.size()) + c.length;
    block.resize(std::max<size_t>(block.size(), static_cast<size_t>(length)), 0);
    FrameIndex index;
    const uint8_t* p = block.data();
    EXPECT_EQ(index.load(p, static_cast<int32_t>(length)), c.result) << "version " << int(block[0]);
    EXPECT_EQ(index.entries().size(), c.entries) << "version " << int(block[0]);
    EXPECT_EQ(p, block.data() + (c.result == 0 ? c.block.size() : 0));
    if (c.result == 0 && static_cast<int8_t>(block[0]) <= 2) {  // no count stored: counted without a limit
      EXPECT_EQ(index.frameCount(), c.entries);
    }
    if (c.result == 0 && block[0] == 4) {
      EXPECT_EQ(written(index), c.block);
      EXPECT_EQ(index.findEntry(0)->streamPosition, (int64_t{5} << 32) + 17);
    }
  }
}

TEST(SeekDataTest, OlderVersionsReadAsTheFormatDefinesThem) {
  // Version 3: the count as stored, a negative offset clamped; bytes 25..31
  // of an entry are undefined and never read.
  std::vector<uint8_t> seen[2];
  for (uint8_t undefined : {0, 1}) {
    FrameIndex index;
    ASSERT_EQ(load(index, indexPart(3, 6, -2, 4, undefined)), 0);
    EXPECT_EQ(index.frameCount(), 4u);
    int32_t first = 9, second = 9;
    index.getStartFrameOffset(first, second);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(index.keyDistance(4), 4);
    for (const auto& [number, e] : index.entries())
      EXPECT_EQ(std::tuple(e.temporalReference, e.codingState, e.entryFlags),
                std::tuple(kUnknownTemporalReference, kFirstSequenceState, uint8_t{0}));
    seen[undefined] = written(index);
  }
  EXPECT_EQ(seen[0], seen[1]);

  // Version 1: references in slots, flags 0x05 are type 0.
  std::vector<uint8_t> one = indexPart(1, 3);
  const int32_t twelve = 12, twenty = 20, fifteen = 15;
  std::memcpy(one.data() + 8 + 80 + 16 + 4 * 3, &twelve, 4);
  std::memcpy(one.data() + 8 + 80 + 16 + 4 * 9, &twenty, 4);
  std::memcpy(one.data() + 8 + 80 + 12, &fifteen, 4);
  one[8 + 160 + 76] = 0x05;
  FrameIndex index;
  ASSERT_EQ(load(index, one), 0);
  EXPECT_EQ(std::pair(index.findEntry(15)->forwardRef, index.findEntry(15)->backwardRef), std::pair(12, 20));
  EXPECT_EQ(index.findEntry(0)->pictureFlags, 0x41);
  EXPECT_EQ(index.findEntry(2)->pictureFlags, 0x00);
  EXPECT_EQ(index.keyEntries().size(), 1u);
}

}  // namespace
}  // namespace quarlin
