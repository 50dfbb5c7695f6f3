// Reading the seek-data block: file kind, header values, entries, and the
// blocks that must be refused rather than read past their end.
#include "tools/host/seek_data_reader.h"

#include <gtest/gtest.h>

#include <vector>

namespace quarlin::tool {
namespace {

using Bytes = std::vector<uint8_t>;

void putU32(Bytes& b, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void putU64(Bytes& b, std::size_t at, uint64_t v) {
  putU32(b, at, static_cast<uint32_t>(v));
  putU32(b, at + 4, static_cast<uint32_t>(v >> 32));
}

struct RawEntry {
  int64_t position;
  uint32_t size;
  int32_t number, forward, backward;
  uint8_t flags;
};

// A block as the library writes it; undefined bytes hold 0xEE.
Bytes block(uint8_t isElementary, uint8_t isTransport, const std::vector<RawEntry>& entries,
            int32_t startOffset = 0, uint32_t frameCount = 0) {
  Bytes b(24 + 16 + 32 * entries.size(), 0xEE);
  putU32(b, 0, 1);
  putU32(b, 4, 0);
  b[8] = isElementary, b[9] = 0, b[10] = isTransport;
  putU64(b, 16, static_cast<uint64_t>(int64_t{-1}));
  putU32(b, 24, 3);
  putU32(b, 28, static_cast<uint32_t>(entries.size()));
  putU32(b, 32, static_cast<uint32_t>(startOffset));
  putU32(b, 36, frameCount);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::size_t at = 40 + 32 * i;
    const RawEntry& e = entries[i];
    putU64(b, at, static_cast<uint64_t>(e.position));
    putU32(b, at + 8, e.size);
    putU32(b, at + 12, static_cast<uint32_t>(e.number));
    putU32(b, at + 16, static_cast<uint32_t>(e.forward));
    putU32(b, at + 20, static_cast<uint32_t>(e.backward));
    b[at + 24] = e.flags;
  }
  return b;
}

TEST(SeekDataReader, ReadsHeaderAndEntries) {
  const int64_t farPosition = (int64_t{5} << 32) + 0x1234;  // beyond 4 GiB
  const Bytes b = block(0, 1,
                        {{4, 1000, 0, -1, -1, 0x41}, {farPosition, 77, 1, 0, 3, 0x03}, {9, 5, 2, 1, -1, 0x05}},
                        2, 98);
  const SeekData data = readSeekData(b);
  EXPECT_EQ(data.startFrameOffset, 2);
  EXPECT_EQ(data.frameCount, 98u);
  EXPECT_EQ(data.lastRecorded, -1);
  ASSERT_EQ(data.entries.size(), 3u);
  EXPECT_EQ(data.entries[0].type, 1);
  EXPECT_TRUE(data.entries[0].key);
  EXPECT_EQ(data.entries[0].forward, -1);
  EXPECT_EQ(data.entries[1].position, farPosition);
  EXPECT_EQ(data.entries[1].size, 77u);
  EXPECT_EQ(data.entries[1].type, 3);
  EXPECT_FALSE(data.entries[1].key);
  EXPECT_EQ(data.entries[1].forward, 0);
  EXPECT_EQ(data.entries[1].backward, 3);
  EXPECT_EQ(data.entries[2].type, 0);  // 5 is no picture type of the index
  EXPECT_EQ(pictureTypeLetter(data.entries[1].type), 'B');
}

TEST(SeekDataReader, RefusesBlocksItWouldReadPast) {
  const Bytes good = block(1, 0, {{4, 10, 0, -1, -1, 0x41}, {20, 10, 1, 0, -1, 0x02}});
  EXPECT_NO_THROW(readSeekData(good));
  EXPECT_THROW(readSeekData(Bytes(good.begin(), good.end() - 1)), SeekDataError);  // one byte short
  EXPECT_THROW(readSeekData(Bytes(good.begin(), good.begin() + 39)), SeekDataError);
  Bytes tooMany = good;
  putU32(tooMany, 28, 3);
  EXPECT_THROW(readSeekData(tooMany), SeekDataError);
  Bytes negative = good;
  putU32(negative, 28, 0xFFFFFFFF);
  EXPECT_THROW(readSeekData(negative), SeekDataError);
  Bytes huge = good;
  putU32(huge, 28, 0x7FFFFFFF);
  EXPECT_THROW(readSeekData(huge), SeekDataError);
  Bytes version2 = good;
  putU32(version2, 24, 2);
  EXPECT_THROW(readSeekData(version2), SeekDataError);
}

}  // namespace
}  // namespace quarlin::tool
