// Picture-unit assembly: units and start-code entries against a plain scan,
// the slice-row tally, slice views and the limits of a unit. (Navigation
// between the entries is what every header and slice parser does.)
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "tests/parse/unit_fixture.h"

namespace quarlin::test {
namespace {

Bytes filler(size_t n, uint8_t first = 0x11) {
  Bytes out(n);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(first + i % 0x60);
  return out;
}

using UnitAssemblerTest = UnitFixture;

// Random bytes rich in zeros and ones, delivered in random pieces (so codes
// straddle fills, and the last piece comes with the end of data holding
// several short pictures), against a byte-by-byte reading: every prefix
// 00 00 01 is an entry at its place, each unit ends with a picture start
// code and holds the bytes in between.
TEST_F(UnitAssemblerTest, UnitsAndEntriesMatchAPlainScanOnRandomData) {
  std::mt19937 random(77);
  for (int round = 0; round < 20; ++round) {
    Bytes bytes;
    while (bytes.size() < 6000) {
      const bool dense = random() % 2;
      const size_t length = 1 + random() % 300;
      for (size_t i = 0; i < length; ++i) {
        const uint32_t r = random() % 100;
        bytes.push_back(dense ? (r < 40 ? 0 : r < 55 ? 1 : r < 60 ? 0xB5 : static_cast<uint8_t>(random()))
                              : static_cast<uint8_t>(1 + random() % 255));
      }
    }
    // The plain reading: entries by absolute offset, and where units end.
    std::vector<std::pair<size_t, uint32_t>> expected;
    std::vector<size_t> ends;
    for (size_t q = 0; q + 3 < bytes.size();) {
      if (bytes[q] == 0 && bytes[q + 1] == 0 && bytes[q + 2] == 1) {
        expected.push_back({q, 0x100u | bytes[q + 3]});
        if (bytes[q + 3] == 0) {
          ends.push_back(q + 4);
          q += 4;
          continue;
        }
      }
      ++q;
    }
    ends.push_back(bytes.size());
    ScriptedSource s;
    for (size_t at = 0; at < bytes.size();) {
      const size_t n = std::min<size_t>(1 + random() % 700, bytes.size() - at);
      s.pieces.push_back({Bytes(bytes.begin() + at, bytes.begin() + at + n), at + n == bytes.size() ? -4 : 0});
      at += n;
    }
    std::vector<std::pair<size_t, uint32_t>> found;
    size_t start = 0;
    for (size_t unitIndex = 0; unitIndex < ends.size(); ++unitIndex) {
      const int32_t result = next(s);
      ASSERT_EQ(result, unitIndex + 1 < ends.size() ? 0 : -4) << "round " << round << " unit " << unitIndex;
      ASSERT_EQ(fileOrder(*unit), Bytes(bytes.begin() + start, bytes.begin() + ends[unitIndex]));
      for (const Entry& e : entriesOf(*unit)) found.push_back({start + e.wordOffset + (31 - e.bitIndex) / 8, e.code});
      start = ends[unitIndex];
    }
    EXPECT_EQ(next(s), -4);
    EXPECT_EQ(unit->filled, 0);
    ASSERT_EQ(found, expected) << "round " << round;
  }
}

TEST_F(UnitAssemblerTest, FillErrorsPassThrough) {
  ScriptedSource s;
  s.pieces = {{filler(20), 0}, {filler(3), -7}};
  EXPECT_EQ(next(s), -7);
  EXPECT_EQ(unit->filled, 23);
}

// A unit is abandoned once it comes within 8192 bytes of its capacity.
TEST_F(UnitAssemblerTest, AUnitWithoutAPictureEndIsAbandonedAt741808Bytes) {
  ScriptedSource s;
  s.pieces = {{Bytes(741807, 0x11), 0}, {Bytes(1, 0x11), 0}, {Bytes(100, 0x11), 0}};
  EXPECT_EQ(next(s), -4);
  EXPECT_EQ(s.calls, 2);
  EXPECT_EQ(unit->filled, 741808);
}

struct TallyCase {
  std::vector<uint8_t> slices;  // slice start code bytes in unit order
  std::map<uint32_t, uint32_t> tally;
  std::vector<std::pair<int32_t, bool>> oneSlicePerRow;  // height, expected
};

TEST_F(UnitAssemblerTest, SliceRowTallyDecidesOneSlicePerRow) {
  const TallyCase cases[] = {
      {{1, 2, 3}, {{0, 0}, {1, 0}, {2, 0}}, {{48, true}, {33, true}, {32, true}, {64, false}, {16, false}}},
      {{1, 1}, {{0, 1}}, {{16, false}, {32, false}}},
      {{1, 2, 2}, {{0, 0}, {1, 1}}, {{32, false}, {48, false}}},
      {{2, 1}, {{0, 1}, {1, 1}}, {{32, false}}},
  };
  for (const TallyCase& c : cases) {
    Bytes bytes = {0x12, 0x34};
    for (uint8_t code : c.slices) append(bytes, {0, 0, 1, code, 0x77});
    append(bytes, {0, 0, 1, 0});
    ASSERT_EQ(load(bytes), 0);
    EXPECT_EQ(unit->sliceCount, static_cast<int32_t>(c.slices.size()));
    const std::map<uint32_t, uint32_t> tally(table.rowTally.begin(), table.rowTally.end());
    EXPECT_EQ(tally, c.tally);
    for (const auto& [height, expected] : c.oneSlicePerRow)
      EXPECT_EQ(unit->isOneSlicePerRow(height), expected) << "height " << height;
  }
}

TEST_F(UnitAssemblerTest, SliceViewsShareTheStorageWithoutOwningIt) {
  Bytes bytes = {0x12};
  append(bytes, {0, 0, 1, 0xB5, 0x66});
  for (uint8_t row = 1; row <= 3; ++row) append(bytes, {0, 0, 1, row, 0x70, row});
  append(bytes, {0, 0, 1, 0});
  ASSERT_EQ(load(bytes), 0);
  const int64_t live = testHostLiveAllocations();
  {
    StreamBuffer view = makeSliceView(unit, 1);
    EXPECT_TRUE(view.isView);
    EXPECT_EQ(view.data, unit->data);
    EXPECT_EQ(view.sliceCount, 2);
    EXPECT_EQ(view.cursor, 2);
    EXPECT_EQ(view.carryCount, 0);
    EXPECT_EQ(view.skipStartCode(), 0x102);
    BitReader r = view.reader();
    EXPECT_EQ(readBits(r, 16), 0x7002u);
    view.stepBack();
    EXPECT_EQ(view.rewindToCurrent(), 0x102);
    view.destroy();
  }
  EXPECT_EQ(testHostLiveAllocations(), live);
  const int64_t misuses = testHostMisuseCount();
  {
    SharedBuffer copy = unit;
    EXPECT_EQ(unit.holders(), 2);
    unit = SharedBuffer();
    EXPECT_EQ(testHostLiveAllocations(), live);
  }
  EXPECT_EQ(testHostLiveAllocations(), live - 1);
  EXPECT_EQ(testHostMisuseCount(), misuses);
}

TEST(UnitStorageTest, StorageCarriesZeroedSlackBeyondItsCapacity) {
  StartCodeTable table;
  SharedBuffer unit = createSharedBuffer(1000, &table, testHostServices());
  EXPECT_EQ(testHostLastAllocateRequest().size, 1000u + 4096u);
  EXPECT_EQ(testHostLastAllocateRequest().alignment, 16u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(unit->data) % 16, 0u);
  EXPECT_EQ(unit->capacity, 1000);
  EXPECT_EQ(Bytes(unit->data + 1000, unit->data + 1000 + 4096), Bytes(4096, 0));
  unit->setFilled(5000);
  EXPECT_EQ(unit->filled, 1000);
}

}  // namespace
}  // namespace quarlin::test
