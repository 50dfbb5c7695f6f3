// The frame index: duplicates and key entries, the frame count, the start
// offset; and its serialised form (versions 1, 2 and 3 read, version 3
// written). (References from the anchors are checked with the scan on built
// streams.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "index/frame_index.h"

namespace quarlin {
namespace {

FrameCandidate candidate(int32_t display, int32_t type = 3, bool key = false,
                         std::initializer_list<int32_t> anchors = {}, int64_t position = 0,
                         uint32_t size = 0) {
  FrameCandidate c;
  c.displayNumber = display, c.pictureType = type, c.key = key;
  c.streamPosition = position, c.codedSize = size;
  c.anchors.assign(anchors.begin(), anchors.end());
  return c;
}

TEST(FrameIndexTest, FirstEntryOfADisplayNumberStaysAndKeysAreStillRecorded) {
  FrameIndex index;
  index.addFrame(candidate(5, 2, false, {1}, 100, 10));
  index.addFrame(candidate(5, 3, true, {1, 9}, 200, 20));
  index.addFrame(candidate(6, 1, true, {}, 300, 30));
  index.addFrame(candidate(6, 1, true, {}, 400, 40));
  ASSERT_EQ(index.entries().size(), 2u);
  const FrameIndexEntry* five = index.findEntry(5);
  EXPECT_EQ(five->streamPosition, 100);
  EXPECT_EQ(five->codedSize, 10u);
  EXPECT_EQ(five->pictureFlags, 2);
  EXPECT_EQ(five->forwardRef, 1);
  ASSERT_EQ(index.keyEntries().size(), 2u);
  EXPECT_EQ(index.keyEntries().at(5).pictureFlags, 3 | 0x40);
  EXPECT_EQ(index.keyEntries().at(6).streamPosition, 300);
  EXPECT_EQ(index.findEntry(6)->pictureFlags, 0x41);
  EXPECT_EQ(index.findEntry(7), nullptr);
}

TEST(FrameIndexTest, FinaliseCountsFramesFromTheDisplayNumbers) {
  auto range = [](int32_t first, int32_t last) {
    std::vector<int32_t> v;
    for (int32_t d = first; d <= last; ++d) v.push_back(d);
    return v;
  };
  auto plus = [](std::vector<int32_t> v, std::initializer_list<int32_t> more) {
    v.insert(v.end(), more);
    return v;
  };
  const struct {
    std::vector<int32_t> displays;
    int32_t startOffset, limit;
    uint32_t count;
  } cases[] = {
      {range(0, 99), 2, -1, 98},
      {range(0, 99), 0, 50, 50},
      {range(0, 99), 2, 97, 97},
      {plus(range(0, 98), {100}), 0, -1, 99},       // one picture missing
      {plus(range(0, 3), {6, 7}), 0, -1, 4},        // two numbered past the end
      {{5}, 0, -1, 1},                              // the smallest entry is never counted out
      {{}, 0, -1, 0},
      {range(0, 2), 5, -1, 3},  // an offset beyond the entries leaves the count alone
  };
  for (const auto& c : cases) {
    FrameIndex index;
    for (int32_t d : c.displays) index.addFrame(candidate(d));
    EXPECT_EQ(index.frameCount(), 0u);
    index.setStartFrameOffset(c.startOffset);
    index.finalise(c.limit);
    EXPECT_EQ(index.frameCount(), c.count) << c.displays.size() << " entries, offset " << c.startOffset;
  }
}

TEST(FrameIndexTest, StartFrameOffsetIsNeverNegative) {
  FrameIndex index;
  int32_t first = 9, second = 9;
  index.getStartFrameOffset(first, second);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 0);
  for (const auto& [value, stored] : {std::pair{-3, 0}, std::pair{4, 4}, std::pair{-32768, 0}}) {
    index.setStartFrameOffset(value);
    index.getStartFrameOffset(first, second);
    EXPECT_EQ(first, stored);
    EXPECT_EQ(second, stored);
  }
}

// --- Seek data ---------------------------------------------------------------

void putLe32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// An index part: `version`, N, (for version 3) offset and count, then N
// entries of the version's size with display number i and coded size 50 + i.
std::vector<uint8_t> indexPart(int32_t version, int32_t n, int32_t offset = 0, uint32_t count = 0) {
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
    if (version == 1) {
      for (int slot = 0; slot < 15; ++slot) putLe32(b, 0xFFFFFFFFu);
      b.push_back(i == 0 ? 0x41 : 0x02);
      b.resize(at + 80, 0);
    } else {
      putLe32(b, 0xFFFFFFFFu);
      putLe32(b, 0xFFFFFFFFu);
      b.push_back(i == 0 ? 0x41 : 0x02);
      b.resize(at + 32, 0xEE);
    }
  }
  return b;
}

int32_t loadInto(FrameIndex& index, const std::vector<uint8_t>& block, size_t length) {
  const uint8_t* p = block.data();
  const int32_t result = index.load(p, static_cast<int32_t>(length));
  if (result == 0) {
    EXPECT_EQ(p, block.data() + block.size()) << "pointer not past the entries";
  } else {
    EXPECT_EQ(p, block.data());
  }
  return result;
}

TEST(SeekDataTest, LengthMustHoldTheEntries) {
  const struct {
    int32_t version, n;
    int64_t extra;  // bytes beyond the block as built
    int32_t result;
  } cases[] = {
      {3, 4, 0, 0},   {3, 4, -1, -5}, {3, 0, 0, 0},  {7, 2, 0, 0},  {3, -1, 64, -5},
      {2, 3, 0, -5},  {2, 3, 7, -5},  {2, 3, 8, 0},  {0, 1, 8, 0},  {-4, 1, 8, 0},
      {1, 2, 0, 0},   {1, 2, -1, -5},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> block = indexPart(c.version, c.n);
    const size_t built = block.size();
    const size_t length = static_cast<size_t>(static_cast<int64_t>(built) + c.extra);
    block.resize(std::max(built, length), 0);  // what the length claims beyond the entries
    FrameIndex index;
    const uint8_t* p = block.data();
    EXPECT_EQ(index.load(p, static_cast<int32_t>(length)), c.result) << "version " << c.version << " n " << c.n;
    if (c.result == 0) {
      EXPECT_EQ(p, block.data() + built);
      EXPECT_EQ(index.entries().size(), static_cast<size_t>(c.n));
      if (c.n > 1) {
        EXPECT_EQ(index.findEntry(1)->codedSize, 51u);
      }
    } else {
      EXPECT_EQ(p, block.data());
      EXPECT_TRUE(index.entries().empty());
    }
  }
}

TEST(SeekDataTest, OlderVersionsAreCountedWithoutALimit) {
  for (int32_t version : {1, 2}) {
    std::vector<uint8_t> block = indexPart(version, 5);
    block.resize(block.size() + 8, 0);  // version 2 is checked as if it had a 16-byte header
    FrameIndex index;
    const uint8_t* p = block.data();
    ASSERT_EQ(index.load(p, static_cast<int32_t>(block.size())), 0);
    EXPECT_EQ(index.frameCount(), 5u) << "version " << version;
    int32_t first = 0, second = 0;
    index.getStartFrameOffset(first, second);
    EXPECT_EQ(first, 0);
  }
  FrameIndex three;
  ASSERT_EQ(loadInto(three, indexPart(3, 5, -2, 4), indexPart(3, 5).size()), 0);
  EXPECT_EQ(three.frameCount(), 4u);
  int32_t first = 9, second = 9;
  three.getStartFrameOffset(first, second);
  EXPECT_EQ(first, 0);  // clamped
  EXPECT_EQ(second, 0);
}

TEST(SeekDataTest, Version1ReferenceSlotsAndFlags) {
  std::vector<uint8_t> block = indexPart(1, 3);
  // Entry 1 becomes display 15 with 12 and 20 in slots 3 and 9; entry 2 gets flags 0x05.
  uint8_t* e1 = block.data() + 8 + 80;
  const int32_t twelve = 12, twenty = 20;
  std::memcpy(e1 + 16 + 4 * 3, &twelve, 4);
  std::memcpy(e1 + 16 + 4 * 9, &twenty, 4);
  const int32_t fifteen = 15;
  std::memcpy(e1 + 12, &fifteen, 4);
  block[8 + 160 + 76] = 0x05;
  FrameIndex index;
  ASSERT_EQ(loadInto(index, block, block.size()), 0);
  const FrameIndexEntry* e = index.findEntry(15);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->forwardRef, 12);
  EXPECT_EQ(e->backwardRef, 20);
  EXPECT_EQ(index.findEntry(0)->pictureFlags, 0x41);
  EXPECT_TRUE(index.keyEntries().count(0));
  EXPECT_EQ(index.findEntry(2)->pictureFlags, 0x00);
  EXPECT_EQ(index.keyEntries().size(), 1u);
}

TEST(SeekDataTest, RoundTripGivesTheSameIndexAndBytes) {
  FrameIndex index;
  const int64_t far = int64_t{5} << 32;
  index.addFrame(candidate(0, 1, true, {}, far + 17, 9000));
  index.addFrame(candidate(3, 2, false, {0}, far + 9017, 4000));
  index.addFrame(candidate(1, 3, false, {0, 3}, far + 13017, 1500));
  index.addFrame(candidate(2, 3, false, {0, 3}, far + 14517, 1400));
  index.addFrame(candidate(5, 1, false, {3}, 77, 9100));
  index.addFrame(candidate(4, 3, true, {3, 5}, 99, 1300));
  index.addFrame(candidate(6, 0, false, {5}, 101, 10));
  index.setStartFrameOffset(2);
  index.finalise(-1);

  std::vector<uint8_t> first(static_cast<size_t>(index.serialisedSize()), 0xAB);
  uint8_t* out = first.data();
  index.serialise(out);
  EXPECT_EQ(out, first.data() + first.size());
  EXPECT_EQ(first.size(), 16u + 32u * 7u);

  FrameIndex loaded;
  ASSERT_EQ(loadInto(loaded, first, first.size()), 0);
  ASSERT_EQ(loaded.entries().size(), index.entries().size());
  for (const auto& [number, e] : index.entries()) {
    const FrameIndexEntry* l = loaded.findEntry(number);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->streamPosition, e.streamPosition);
    EXPECT_EQ(l->codedSize, e.codedSize);
    EXPECT_EQ(l->forwardRef, e.forwardRef);
    EXPECT_EQ(l->backwardRef, e.backwardRef);
    EXPECT_EQ(l->pictureFlags, e.pictureFlags);
  }
  EXPECT_EQ(loaded.keyEntries().size(), 2u);
  EXPECT_EQ(loaded.frameCount(), index.frameCount());
  EXPECT_EQ(loaded.frameCount(), 5u);
  int32_t a = 0, b = 0;
  loaded.getStartFrameOffset(a, b);
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 2);

  std::vector<uint8_t> second(first.size(), 0xCD);
  out = second.data();
  loaded.serialise(out);
  for (size_t i = 0; i < first.size(); ++i) {
    const bool undefined = i >= 16 && (i - 16) % 32 >= 25;
    if (!undefined) {
      EXPECT_EQ(first[i], second[i]) << "byte " << i;
    }
  }
}

}  // namespace
}  // namespace quarlin
