// Block loading, boundaries, end of file and failures of AsyncFileReader.
// (Random operations against a model of the reader are in
// reader_property_test.cpp; these pin the cases at the edges.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/io/reader_test_support.h"

namespace quarlin::test {
namespace {

// Three whole blocks and a partial fourth.
constexpr size_t kFileSize = 3 * kBlock + 1000;

class FileReaderTest : public ReaderTest {
 protected:
  FileReaderTest() : bytes_(patternBytes(kFileSize)), file_(diskDirectory(), bytes_) {}

  // A reader opened on the file, positioned at `start`.
  std::unique_ptr<AsyncFileReader> openReader(int64_t start = 0) {
    auto reader = std::make_unique<AsyncFileReader>(testHostServices());
    EXPECT_EQ(reader->open(file_.u16path()), 0);
    reader->skip(start);
    return reader;
  }

  std::vector<uint8_t> bytes_;
  TempFile file_;
};

TEST_F(FileReaderTest, OpenReportsSizeAndBlockGeometryAndLoadsNothing) {
  auto reader = openReader();
  EXPECT_TRUE(reader->isOpen());
  EXPECT_EQ(reader->getFileSize(), static_cast<int64_t>(kFileSize));
  EXPECT_EQ(reader->getPosition(), 0);
  EXPECT_EQ(reader->blockSize(), std::max<int64_t>(reader->sectorSize(), kBlock));
  EXPECT_EQ(testHostLiveAllocations(), liveAtStart_);
}

// Reads across block boundaries and up to or past the end of the file: what
// exists is delivered, the rest of the buffer is zeroed, and a read that
// ends short says -4.
TEST_F(FileReaderTest, ReadsAcrossBoundariesAndAtTheEnd) {
  const struct {
    int64_t start;
    int32_t count;
    int32_t result, got;
  } cases[] = {
      {0, 1, 0, 1},
      {kBlock - 1, 2, 0, 2},
      {kBlock - 3, 7, 0, 7},
      {kBlock - 10, 2 * kBlock + 20, 0, 2 * kBlock + 20},
      {0, kFileSize, 0, kFileSize},
      {3 * kBlock - 1, 1001, 0, 1001},
      {kFileSize - 4, 10, -4, 4},
      {kFileSize, 6, -4, 0},
      {kFileSize + 5000, 6, -4, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "start " << c.start << " count " << c.count);
    auto reader = openReader(c.start);
    std::vector<uint8_t> out(static_cast<size_t>(c.count), 0xAA);
    int32_t got = -1;
    EXPECT_EQ(reader->read(out.data(), c.count, got), c.result);
    ASSERT_EQ(got, c.got);
    EXPECT_EQ(reader->getPosition(), c.start + c.got);
    if (got > 0) {
      EXPECT_TRUE(std::equal(out.begin(), out.begin() + got, bytes_.begin() + c.start));
    }
    EXPECT_TRUE(std::all_of(out.begin() + got, out.end(), [](uint8_t b) { return b == 0; }));
  }
}

// Big-endian values straddling block boundaries, reached both with the
// preceding block loaded and with no block; a value cut off by the end
// consumes what exists and leaves its output alone.
TEST_F(FileReaderTest, BigEndianValuesAcrossBlocksAndAtTheEnd) {
  const struct {
    int64_t at;
    int width;  // 1, 2 or 4 bytes
  } cases[] = {{kBlock - 3, 4}, {kBlock - 1, 4}, {kBlock, 4}, {kBlock - 1, 2},
               {2 * kBlock - 1, 2}, {kBlock - 1, 1}, {kFileSize - 4, 4}, {kFileSize - 2, 4}};
  for (const auto& c : cases) {
    for (const bool warm : {true, false}) {
      SCOPED_TRACE(testing::Message() << "at " << c.at << " width " << c.width << (warm ? " warm" : " cold"));
      auto reader = openReader(warm ? c.at - 1 : c.at);
      uint8_t byte = 0x5A;
      if (warm) {
        ASSERT_EQ(reader->readByte(byte), 0);
      }
      const bool fits = c.at + c.width <= static_cast<int64_t>(kFileSize);
      uint16_t half = 0x5A5A;
      uint32_t value = 0x5A5A5A5A;
      int32_t result = 0;
      if (c.width == 4) result = reader->readU32BE(value);
      if (c.width == 2) result = reader->readU16BE(half), value = half;
      if (c.width == 1) result = reader->readByte(byte), value = byte;
      EXPECT_EQ(result, fits ? 0 : -4);
      EXPECT_EQ(value, fits ? bigEndianAt(bytes_, static_cast<size_t>(c.at), c.width) : 0x5A5A5A5Au);
      EXPECT_EQ(reader->getPosition(), std::min<int64_t>(c.at + c.width, kFileSize));
    }
  }
}

TEST_F(FileReaderTest, SequentialReadingLoadsEachBlockOnceAndHoldsOne) {
  auto reader = openReader();
  const int64_t allocations = testHostAllocateCount();
  uint8_t byte = 0;
  for (size_t i = 0; i < kFileSize; ++i) {
    ASSERT_EQ(reader->readByte(byte), 0);
    ASSERT_EQ(byte, bytes_[i]) << "offset " << i;
    ASSERT_LE(testHostLiveAllocations(), liveAtStart_ + 1);
  }
  const int64_t blocks = (static_cast<int64_t>(kFileSize) + reader->blockSize() - 1) / reader->blockSize();
  EXPECT_EQ(testHostAllocateCount() - allocations, blocks);
  EXPECT_EQ(testHostLastAllocateRequest().size, static_cast<uint32_t>(reader->blockSize()));
  EXPECT_EQ(testHostLastAllocateRequest().alignment, reader->sectorSize());
  // Stepping back inside the block reloads nothing.
  reader->skip(-8);
  uint8_t again[8];
  int32_t got = 0;
  ASSERT_EQ(reader->read(again, 8, got), 0);
  EXPECT_EQ(testHostAllocateCount() - allocations, blocks);
  EXPECT_EQ(0, std::memcmp(again, bytes_.data() + kFileSize - 8, 8));
  reader->close();
  EXPECT_EQ(testHostLiveAllocations(), liveAtStart_) << "close releases the block";
  reader->rewind();
  EXPECT_EQ(reader->readByte(byte), -6);
  reader->close();  // a second close is harmless
}

// (Negative counts and positions before the start are among the property
// test's random operations.)
TEST_F(FileReaderTest, NullBufferReadsNothing) {
  auto reader = openReader(10);
  int32_t got = -1;
  EXPECT_EQ(reader->read(nullptr, 100, got), 0);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(reader->getPosition(), 10);
}

TEST_F(FileReaderTest, HostMemoryFailureGivesMinus7AndTheReaderRecovers) {
  for (const bool lock : {false, true}) {
    SCOPED_TRACE(lock ? "lock" : "allocate");
    // A read across the first boundary: its second block cannot be had.
    auto reader = openReader(kBlock - 3);
    uint8_t byte = 0;
    ASSERT_EQ(reader->readByte(byte), 0);
    lock ? testHostFailLock(1) : testHostFailAllocate(1);
    uint8_t out[8];
    std::memset(out, 0xAA, sizeof out);
    int32_t got = -1;
    EXPECT_EQ(reader->read(out, 8, got), -7);
    EXPECT_EQ(got, 2);
    EXPECT_EQ(0, std::memcmp(out, bytes_.data() + kBlock - 2, 2));
    for (int i = 2; i < 8; ++i) EXPECT_EQ(out[i], 0);
    EXPECT_EQ(reader->getPosition(), kBlock);
    EXPECT_EQ(testHostLiveAllocations(), liveAtStart_) << "nothing held after the failure";
    // A single value fails alike and keeps its output.
    testHostFailAllocate(1);
    uint32_t word = 0x33333333;
    EXPECT_EQ(reader->readU32BE(word), -7);
    EXPECT_EQ(word, 0x33333333u);
    // The same read again succeeds, and the block that was current before
    // is reloaded, not stale.
    ASSERT_EQ(reader->read(out, 6, got), 0);
    EXPECT_EQ(0, std::memcmp(out, bytes_.data() + kBlock, 6));
    reader->rewind();
    ASSERT_EQ(reader->read(out, 8, got), 0);
    EXPECT_EQ(0, std::memcmp(out, bytes_.data(), 8));
  }
}

TEST_F(ReaderTest, FilesThatCannotBeReadDoNotOpen) {
  TempFile empty(diskDirectory(), {});
  const std::string cases[] = {empty.path(), diskDirectory() + "/no-such-file.mpg", diskDirectory(), ""};
  const auto before = completion_service::diagnostics();
  for (const std::string& path : cases) {
    AsyncFileReader reader(testHostServices());
    EXPECT_EQ(reader.open(u16(path).c_str()), -6) << path;
    EXPECT_FALSE(reader.isOpen());
    EXPECT_EQ(completion_service::diagnostics().openReaders, before.openReaders);
  }
  AsyncFileReader reader(testHostServices());
  EXPECT_EQ(reader.open(nullptr), -6);
}

// The block is the sector size but at least 64 KiB; a sector size that is
// no power of two is a file-system failure.
TEST_F(ReaderTest, BlockSizeFollowsTheSectorSize) {
  const struct {
    uint32_t sectorSize;
    int64_t blockSize;
  } cases[] = {{512, 65536}, {65536, 65536}, {131072, 131072}, {1048576, 1048576}, {3000, -6}};
  const std::vector<uint8_t> bytes = patternBytes(2 * 1048576 + 77, 5);
  TempFile file(diskDirectory(), bytes);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "sector " << c.sectorSize);
    overrideVolumeSectorSizeForTesting(c.sectorSize);
    AsyncFileReader reader(testHostServices());
    if (c.blockSize < 0) {
      EXPECT_EQ(reader.open(file.u16path()), c.blockSize);
      continue;
    }
    ASSERT_EQ(reader.open(file.u16path()), 0);
    EXPECT_EQ(reader.blockSize(), c.blockSize);
    const int64_t allocations = testHostAllocateCount();
    std::vector<uint8_t> out(bytes.size());
    int32_t got = 0;
    ASSERT_EQ(reader.read(out.data(), static_cast<int32_t>(out.size()), got), 0);
    EXPECT_TRUE(out == bytes);
    EXPECT_EQ(testHostAllocateCount() - allocations, (static_cast<int64_t>(bytes.size()) + c.blockSize - 1) / c.blockSize);
    EXPECT_EQ(testHostLastAllocateRequest().alignment, c.sectorSize);
  }
}

}  // namespace
}  // namespace quarlin::test
