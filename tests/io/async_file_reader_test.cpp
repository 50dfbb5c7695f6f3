// Block loading, boundaries, end of file and failures of AsyncFileReader.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "tests/io/reader_test_support.h"

namespace quarlin::test {
namespace {

// Three whole blocks and a partial fourth.
constexpr size_t kFileSize = 3 * kBlock + 1000;

class FileReaderTest : public ReaderTest {
 protected:
  FileReaderTest() : bytes_(patternBytes(kFileSize)), file_(diskDirectory(), bytes_) {}

  // A reader opened on the file.
  std::unique_ptr<AsyncFileReader> openReader() {
    auto reader = std::make_unique<AsyncFileReader>(testHostServices());
    EXPECT_EQ(reader->open(file_.u16path()), 0);
    return reader;
  }

  std::vector<uint8_t> bytes_;
  TempFile file_;
};

struct ReadCase {
  int64_t start;
  int32_t count;
};

TEST_F(FileReaderTest, ReadsMatchTheFileAcrossBlockBoundaries) {
  const ReadCase cases[] = {
      {0, 1},          {0, 8},           {kBlock - 1, 1},     {kBlock - 1, 2},
      {kBlock - 3, 7}, {kBlock, 1},      {kBlock - 10, 2 * kBlock + 20},
      {0, kFileSize},  {3 * kBlock - 1, 1001}, {kFileSize - 1, 1},
  };
  auto reader = openReader();
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "start " << c.start << " count " << c.count);
    reader->rewind();
    reader->skip(c.start);
    std::vector<uint8_t> out(static_cast<size_t>(c.count), 0xAA);
    int32_t got = -1;
    ASSERT_EQ(reader->read(out.data(), c.count, got), 0);
    EXPECT_EQ(got, c.count);
    EXPECT_EQ(reader->getPosition(), c.start + c.count);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), bytes_.begin() + c.start));
  }
}

TEST_F(FileReaderTest, OpenReportsSizeAndBlockGeometry) {
  auto reader = openReader();
  EXPECT_TRUE(reader->isOpen());
  EXPECT_EQ(reader->getFileSize(), static_cast<int64_t>(kFileSize));
  EXPECT_EQ(reader->getPosition(), 0);
  EXPECT_EQ(reader->blockSize(), std::max<int64_t>(reader->sectorSize(), kBlock));
  EXPECT_FALSE(reader->cacheEnabled());
  EXPECT_EQ(testHostLiveAllocations(), liveAtStart_) << "open must not load a block";
}

TEST_F(FileReaderTest, ReadRunningPastTheEndDeliversWhatExists) {
  auto reader = openReader();
  reader->skip(kFileSize - 4);
  uint8_t out[10];
  std::memset(out, 0xAA, sizeof out);
  int32_t got = -1;
  EXPECT_EQ(reader->read(out, 10, got), -4);
  EXPECT_EQ(got, 4);
  EXPECT_EQ(0, std::memcmp(out, bytes_.data() + kFileSize - 4, 4));
  for (int i = 4; i < 10; ++i) EXPECT_EQ(out[i], 0) << "byte " << i;
  EXPECT_EQ(reader->getPosition(), static_cast<int64_t>(kFileSize));
}

TEST_F(FileReaderTest, ReadsAtOrPastTheEndFailWithZeroFill) {
  auto reader = openReader();
  for (const int64_t start : {static_cast<int64_t>(kFileSize), static_cast<int64_t>(kFileSize) + 5000}) {
    reader->rewind();
    reader->skip(start);
    uint8_t out[6];
    std::memset(out, 0xAA, sizeof out);
    int32_t got = -1;
    EXPECT_EQ(reader->read(out, 6, got), -4);
    EXPECT_EQ(got, 0);
    for (uint8_t b : out) EXPECT_EQ(b, 0);
    uint8_t byte = 0x5A;
    uint32_t word = 0x5A5A5A5A;
    EXPECT_EQ(reader->readByte(byte), -4);
    EXPECT_EQ(reader->readU32BE(word), -4);
    EXPECT_EQ(byte, 0x5A);
    EXPECT_EQ(word, 0x5A5A5A5Au);
    EXPECT_EQ(reader->getPosition(), start);
  }
}

struct WordCase {
  int64_t at;
  int width;  // 1, 2 or 4 bytes
};

TEST_F(FileReaderTest, BigEndianValuesAssembleInFileOrderAcrossBlocks) {
  const WordCase cases[] = {
      {0, 4},          {kBlock - 4, 4}, {kBlock - 3, 4}, {kBlock - 2, 4}, {kBlock - 1, 4},
      {kBlock, 4},     {kBlock - 1, 2}, {kBlock - 2, 2}, {2 * kBlock - 1, 2},
      {kBlock - 1, 1}, {kBlock, 1},     {kFileSize - 4, 4}, {kFileSize - 2, 2},
  };
  auto reader = openReader();
  for (const WordCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "at " << c.at << " width " << c.width);
    // Arrive both with the preceding block loaded and with no block.
    for (const bool warm : {true, false}) {
      if (warm && c.at == 0) continue;
      reader->rewind();
      if (warm) {
        reader->skip(c.at - 1);
        uint8_t ignored;
        ASSERT_EQ(reader->readByte(ignored), 0);
      } else {
        reader->close();
        ASSERT_EQ(reader->open(file_.u16path()), 0);
        reader->skip(c.at);
      }
      uint32_t value = 0;
      if (c.width == 4) {
        ASSERT_EQ(reader->readU32BE(value), 0);
      } else if (c.width == 2) {
        uint16_t half = 0;
        ASSERT_EQ(reader->readU16BE(half), 0);
        value = half;
      } else {
        uint8_t byte = 0;
        ASSERT_EQ(reader->readByte(byte), 0);
        value = byte;
      }
      EXPECT_EQ(value, bigEndianAt(bytes_, static_cast<size_t>(c.at), c.width));
      EXPECT_EQ(reader->getPosition(), c.at + c.width);
    }
  }
}

TEST_F(FileReaderTest, CutOffWordConsumesTheBytesThatExist) {
  auto reader = openReader();
  reader->skip(kFileSize - 2);
  uint32_t word = 0x12345678;
  EXPECT_EQ(reader->readU32BE(word), -4);
  EXPECT_EQ(word, 0x12345678u);
  EXPECT_EQ(reader->getPosition(), static_cast<int64_t>(kFileSize));
}

TEST_F(FileReaderTest, SteppingBackInsideTheBlockReloadsNothing) {
  auto reader = openReader();
  uint8_t first[8], again[8];
  int32_t got = 0;
  ASSERT_EQ(reader->read(first, 8, got), 0);
  const int64_t allocations = testHostAllocateCount();
  reader->skip(-8);
  EXPECT_EQ(reader->getPosition(), 0);
  ASSERT_EQ(reader->read(again, 8, got), 0);
  EXPECT_EQ(testHostAllocateCount(), allocations);
  EXPECT_EQ(0, std::memcmp(first, again, 8));
  EXPECT_EQ(0, std::memcmp(first, bytes_.data(), 8));
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
  reader->close();
  EXPECT_EQ(testHostLiveAllocations(), liveAtStart_) << "close releases the block";
}

TEST_F(FileReaderTest, NegativeOrNullReadsWriteNothing) {
  auto reader = openReader();
  reader->skip(10);
  uint8_t out[4] = {1, 2, 3, 4};
  int32_t got = -1;
  EXPECT_EQ(reader->read(out, -5, got), 0);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(reader->read(out, std::numeric_limits<int32_t>::min(), got), 0);
  EXPECT_EQ(reader->read(nullptr, 100, got), 0);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[3], 4);
  EXPECT_EQ(reader->getPosition(), 10);
}

TEST_F(FileReaderTest, PositionBeforeTheStartIsASeekFailure) {
  auto reader = openReader();
  for (const int64_t delta : {int64_t{-1}, int64_t{-kBlock - 1}, std::numeric_limits<int64_t>::min()}) {
    reader->rewind();
    reader->skip(delta);
    uint8_t out[3] = {7, 7, 7};
    int32_t got = -1;
    EXPECT_EQ(reader->read(out, 3, got), -6);
    EXPECT_EQ(got, 0);
    EXPECT_EQ(out[0] | out[1] | out[2], 0);
    uint8_t byte = 9;
    EXPECT_EQ(reader->readByte(byte), -6);
    EXPECT_EQ(byte, 9);
  }
  reader->rewind();
  uint8_t byte = 0;
  ASSERT_EQ(reader->readByte(byte), 0) << "the reader stays usable";
  EXPECT_EQ(byte, bytes_[0]);
}

enum class HostFault { Allocate, Lock };

TEST_F(FileReaderTest, HostMemoryFailureGivesMinus7AndTheReaderRecovers) {
  for (const HostFault fault : {HostFault::Allocate, HostFault::Lock}) {
    SCOPED_TRACE(fault == HostFault::Allocate ? "allocate" : "lock");
    auto reader = openReader();
    // A read across the first boundary: its second block cannot be had.
    reader->skip(kBlock - 3);
    uint8_t byte = 0;
    ASSERT_EQ(reader->readByte(byte), 0);
    if (fault == HostFault::Allocate) testHostFailAllocate(1);
    else testHostFailLock(1);
    uint8_t out[8];
    std::memset(out, 0xAA, sizeof out);
    int32_t got = -1;
    EXPECT_EQ(reader->read(out, 8, got), -7);
    EXPECT_EQ(got, 2);
    EXPECT_EQ(0, std::memcmp(out, bytes_.data() + kBlock - 2, 2));
    for (int i = 2; i < 8; ++i) EXPECT_EQ(out[i], 0);
    EXPECT_EQ(reader->getPosition(), kBlock);
    EXPECT_EQ(testHostLiveAllocations(), liveAtStart_) << "nothing held after the failure";
    // The same read again succeeds.
    ASSERT_EQ(reader->read(out, 6, got), 0);
    EXPECT_EQ(0, std::memcmp(out, bytes_.data() + kBlock, 6));
    // And the block that was current before is reloaded, not stale.
    reader->rewind();
    ASSERT_EQ(reader->read(out, 8, got), 0);
    EXPECT_EQ(0, std::memcmp(out, bytes_.data(), 8));
  }
}

TEST_F(FileReaderTest, SingleValueReadsReportHostFailure) {
  auto reader = openReader();
  uint8_t byte = 0x11;
  uint16_t half = 0x2222;
  uint32_t word = 0x33333333;
  testHostFailAllocate(3);
  EXPECT_EQ(reader->readByte(byte), -7);
  EXPECT_EQ(reader->readU16BE(half), -7);
  EXPECT_EQ(reader->readU32BE(word), -7);
  EXPECT_EQ(byte, 0x11);
  EXPECT_EQ(half, 0x2222);
  EXPECT_EQ(word, 0x33333333u);
  EXPECT_EQ(reader->getPosition(), 0);
  ASSERT_EQ(reader->readU32BE(word), 0);
  EXPECT_EQ(word, bigEndianAt(bytes_, 0, 4));
}

TEST_F(FileReaderTest, ClosedReaderFailsAndHoldsNothing) {
  auto reader = openReader();
  uint8_t byte = 0;
  ASSERT_EQ(reader->readByte(byte), 0);
  reader->close();
  EXPECT_FALSE(reader->isOpen());
  EXPECT_EQ(testHostLiveAllocations(), liveAtStart_);
  EXPECT_EQ(reader->readByte(byte), -6);
  EXPECT_EQ(testHostLiveAllocations(), liveAtStart_);
  reader->close();  // a second close is harmless
}

TEST_F(FileReaderTest, ReopeningStartsAtTheBeginningOfTheNewFile) {
  const std::vector<uint8_t> other = patternBytes(300, 99);
  TempFile otherFile(diskDirectory(), other);
  auto reader = openReader();
  reader->skip(kBlock + 5);
  uint8_t byte = 0;
  ASSERT_EQ(reader->readByte(byte), 0);
  ASSERT_EQ(reader->open(otherFile.u16path()), 0);
  EXPECT_EQ(reader->getPosition(), 0);
  EXPECT_EQ(reader->getFileSize(), 300);
  uint8_t out[300];
  int32_t got = 0;
  ASSERT_EQ(reader->read(out, 300, got), 0);
  EXPECT_EQ(0, std::memcmp(out, other.data(), 300));
}

struct OpenFailureCase {
  const char* name;
  std::string path;
};

TEST_F(ReaderTest, FilesThatCannotBeReadDoNotOpen) {
  TempFile empty(diskDirectory(), {});
  const OpenFailureCase cases[] = {
      {"empty file", empty.path()},
      {"missing file", diskDirectory() + "/no-such-file.mpg"},
      {"directory", diskDirectory()},
      {"empty path", ""},
  };
  const auto before = completion_service::diagnostics();
  for (const OpenFailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    AsyncFileReader reader(testHostServices());
    EXPECT_EQ(reader.open(u16(c.path).c_str()), -6);
    EXPECT_FALSE(reader.isOpen());
    EXPECT_EQ(completion_service::diagnostics().openReaders, before.openReaders);
  }
  AsyncFileReader reader(testHostServices());
  EXPECT_EQ(reader.open(nullptr), -6);
}

struct SectorCase {
  uint32_t sectorSize;
  int64_t blockSize;
};

TEST_F(ReaderTest, BlockSizeIsTheSectorSizeButAtLeast64KiB) {
  const SectorCase cases[] = {
      {512, 65536}, {4096, 65536}, {65536, 65536}, {131072, 131072}, {1048576, 1048576},
  };
  const std::vector<uint8_t> bytes = patternBytes(2 * 1048576 + 77, 5);
  TempFile file(diskDirectory(), bytes);
  for (const SectorCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "sector " << c.sectorSize);
    overrideVolumeSectorSizeForTesting(c.sectorSize);
    AsyncFileReader reader(testHostServices());
    ASSERT_EQ(reader.open(file.u16path()), 0);
    EXPECT_EQ(reader.sectorSize(), c.sectorSize);
    EXPECT_EQ(reader.blockSize(), c.blockSize);
    const int64_t allocations = testHostAllocateCount();
    std::vector<uint8_t> out(bytes.size());
    int32_t got = 0;
    ASSERT_EQ(reader.read(out.data(), static_cast<int32_t>(out.size()), got), 0);
    EXPECT_TRUE(out == bytes);
    const int64_t blocks = (static_cast<int64_t>(bytes.size()) + c.blockSize - 1) / c.blockSize;
    EXPECT_EQ(testHostAllocateCount() - allocations, blocks);
    EXPECT_EQ(testHostLastAllocateRequest().alignment, c.sectorSize);
  }
}

TEST_F(ReaderTest, ImpossibleSectorSizeIsAFileSystemFailure) {
  TempFile file(diskDirectory(), patternBytes(100));
  overrideVolumeSectorSizeForTesting(3000);
  AsyncFileReader reader(testHostServices());
  EXPECT_EQ(reader.open(file.u16path()), -6);
}

}  // namespace
}  // namespace quarlin::test
