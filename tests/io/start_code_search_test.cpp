// findStartCode of AsyncFileReader at the edges. (Searches and
// peekPesHeaderLength at random places are among the property test's
// operations.)
#include <gtest/gtest.h>

#include "tests/io/reader_test_support.h"

namespace quarlin::test {
namespace {

struct SearchCase {
  const char* name;
  std::vector<uint8_t> bytes;
  uint32_t target;
  int32_t result;
  uint32_t code;     // checked when result is 0
  int64_t position;  // after the search
};

class StartCodeSearchTest : public ReaderTest {};

TEST_F(StartCodeSearchTest, StopsJustPastTheWantedCode) {
  const SearchCase cases[] = {
      {"extra leading zeros", {0x00, 0x00, 0x00, 0x00, 0x01, 0xB3, 0x14}, 0x1B3, 0, 0x1B3, 6},
      {"passes another code", {0x00, 0x00, 0x01, 0xB5, 0x8F, 0x00, 0x00, 0x01, 0xB3, 0x22}, 0x1B3,
       0, 0x1B3, 9},
      {"at the very start", {0x00, 0x00, 0x01, 0xBA, 0x44}, 0x1BA, 0, 0x1BA, 4},
      {"picture start code", {0x47, 0x00, 0x00, 0x01, 0x00, 0x00}, 0x100, 0, 0x100, 5},
      {"single zero is no prefix", {0x00, 0x01, 0xB3, 0x00, 0x00, 0x01, 0xB3}, 0x1B3, 0, 0x1B3, 7},
      {"00 00 02 is no prefix", {0x00, 0x00, 0x02, 0x00, 0x00, 0x01, 0xE0}, 0x1E0, 0, 0x1E0, 7},
      {"code ends the file", {0x12, 0x00, 0x00, 0x01, 0xB7}, 0x1B7, 0, 0x1B7, 5},
      {"no code at all", {0x12, 0x34, 0x00, 0x56, 0x00, 0x00}, 0x1B3, -4, 0, 6},
      {"prefix cut off by the end", {0x00, 0x00, 0x01}, 0x1B3, -4, 0, 3},
      {"only other codes", {0x00, 0x00, 0x01, 0xB5, 0x00, 0x00, 0x01, 0xB2}, 0x1B3, -4, 0, 8},
      // A code byte that does not match is consumed even when it is zero,
      // so a prefix that overlaps it is not seen (the index positions rely
      // on this exact scan).
      {"overlapping prefix is missed", {0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0xB3}, 0x1B3, -4, 0, 7},
  };
  for (const SearchCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempFile file(diskDirectory(), c.bytes);
    AsyncFileReader reader(testHostServices());
    ASSERT_EQ(reader.open(file.u16path()), 0);
    uint32_t code = 0xDEAD;
    EXPECT_EQ(reader.findStartCode(c.target, code), c.result);
    if (c.result == 0) {
      EXPECT_EQ(code, c.code);
    }
    EXPECT_EQ(reader.getPosition(), c.position);
  }
}

TEST_F(StartCodeSearchTest, FindsCodesSplitAcrossBlocks) {
  // The prefix and code byte put at every split around the first and second
  // block boundary; filler holds no zero bytes.
  for (const int64_t boundary : {kBlock, 2 * kBlock}) {
    for (int64_t start = boundary - 4; start <= boundary; ++start) {
      SCOPED_TRACE(testing::Message() << "code at " << start);
      std::vector<uint8_t> bytes(static_cast<size_t>(2 * kBlock + 100), 0xFF);
      const uint8_t code[] = {0x00, 0x00, 0x01, 0xB3};
      std::copy(code, code + 4, bytes.begin() + start);
      TempFile file(diskDirectory(), bytes);
      AsyncFileReader reader(testHostServices());
      ASSERT_EQ(reader.open(file.u16path()), 0);
      uint32_t found = 0;
      ASSERT_EQ(reader.findStartCode(0x1B3, found), 0);
      EXPECT_EQ(found, 0x1B3u);
      EXPECT_EQ(reader.getPosition(), start + 4);
    }
  }
}

TEST_F(StartCodeSearchTest, SearchReportsHostFailure) {
  std::vector<uint8_t> bytes(static_cast<size_t>(kBlock + 10), 0xFF);
  bytes[kBlock + 2] = 0x00;
  bytes[kBlock + 3] = 0x00;
  bytes[kBlock + 4] = 0x01;
  bytes[kBlock + 5] = 0xB3;
  TempFile file(diskDirectory(), bytes);
  AsyncFileReader reader(testHostServices());
  ASSERT_EQ(reader.open(file.u16path()), 0);
  uint32_t code = 0;
  testHostFailAllocate(1, 1);  // the first block loads, the second does not
  EXPECT_EQ(reader.findStartCode(0x1B3, code), -7);
  EXPECT_EQ(reader.getPosition(), kBlock);
  ASSERT_EQ(reader.findStartCode(0x1B3, code), 0);
  EXPECT_EQ(reader.getPosition(), kBlock + 6);
}

}  // namespace
}  // namespace quarlin::test
