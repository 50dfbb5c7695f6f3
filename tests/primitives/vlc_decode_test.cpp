// Table building and single-code decoding: every code of every table at every
// bit offset, every bit pattern that is not a code, and the shared table set.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "bit_writer.h"
#include "built_table.h"
#include "primitives/primitives.h"
#include "primitives/vlc_descriptions.h"
#include "primitives/vlc_table_set.h"
#include "reference_codes.h"

namespace quarlin::test {
namespace {

struct Decoded {
  IppStatus status;
  Ipp32s value;
  size_t consumed;  // bits from the start position
};

Decoded decodeAt(const std::vector<Ipp32u>& words, int offset, const IppVCHuffmanSpec_32s* table) {
  Ipp32u* word = const_cast<Ipp32u*>(words.data());
  int position = offset;
  Ipp32s value = 0;
  const IppStatus status = ippiVCHuffmanDecodeOne_1u32s(&word, &position, &value, table);
  return {status, value, bitsFromStart(words.data(), word, position) - (31 - offset)};
}

Ipp32s expectedValue(const Code& c, bool runLevel) {
  return runLevel ? c.level * 256 + c.run : c.value;
}

std::vector<VlcSlot> allSlots() {
  std::vector<VlcSlot> slots;
  for (int s = 0; s < kVlcSlotCount; ++s) slots.push_back(static_cast<VlcSlot>(s));
  return slots;
}

class EveryTable : public testing::TestWithParam<VlcSlot> {
 protected:
  const VlcSlotDescription& description() const { return kVlcSlotDescriptions[GetParam()]; }
  CodeList codes() const { return parseDescription(description().codes, description().runLevel); }
};

// Each code is preceded by filler that puts its first bit at the offset and
// followed by random bits, so codes end in the same word, at its last bit and
// in the next word, and the bits given back cross word boundaries.
TEST_P(EveryTable, EveryCodeAtEveryOffsetDecodesToItsValueAndLength) {
  BuiltTable table(GetParam());
  ASSERT_EQ(table.status(), ippStsNoErr);
  const CodeList list = codes();
  std::mt19937 random(GetParam());
  for (const Code& code : list.codes) {
    for (int offset = 0; offset < 32; ++offset) {
      BitWriter w;
      w.put(random(), 31 - offset);
      w.put(code.bits, code.length);
      w.put(random(), 32);
      const Decoded d = decodeAt(w.words(), offset, table.get());
      ASSERT_EQ(d.status, ippStsNoErr) << code.text() << " at offset " << offset;
      EXPECT_EQ(d.value, expectedValue(code, description().runLevel)) << code.text();
      EXPECT_EQ(d.consumed, size_t(code.length)) << code.text() << " at offset " << offset;
    }
  }
}

// Bits consumed by an unmatched pattern: each lookup level reads its width,
// and the walk goes on to the next level only while some longer code shares
// every bit read so far.
size_t bitsReadBeforeMarker(const CodeList& list, uint32_t pattern, int patternLength) {
  int read = 0;
  for (int width : list.levelWidths) {
    read += width;
    const uint32_t prefix = pattern >> (patternLength - read);
    bool longerCodeShares = false;
    for (const Code& c : list.codes) {
      if (c.length > read && (c.bits >> (c.length - read)) == prefix) longerCodeShares = true;
    }
    if (!longerCodeShares) return size_t(read);
  }
  return size_t(read);
}

const Code* prefixCode(const CodeList& list, uint32_t pattern, int patternLength) {
  for (int length = 1; length <= patternLength; ++length) {
    if (const Code* c = list.find(length, pattern >> (patternLength - length))) return c;
  }
  return nullptr;
}

// All 2^n patterns of the table's full lookup width, at a word's first bit and
// across a word boundary: a pattern that starts with a code decodes to it,
// any other gives -74 and the value 0xF0F1 with the looked-up bits consumed.
TEST_P(EveryTable, EveryPatternDecodesToItsPrefixCodeOrIsRejected) {
  BuiltTable table(GetParam());
  ASSERT_EQ(table.status(), ippStsNoErr);
  const CodeList list = codes();
  int width = 0;
  for (int w : list.levelWidths) width += w;
  size_t rejected = 0;
  for (uint32_t pattern = 0; pattern < (1u << width); ++pattern) {
    for (int offset : {31, 3}) {
      BitWriter w;
      w.put(0x5A5A5A5A, 31 - offset);
      w.put(pattern, width);
      const Decoded d = decodeAt(w.words(2, 0xA5), offset, table.get());
      const Code* code = prefixCode(list, pattern, width);
      if (code != nullptr) {
        ASSERT_EQ(d.status, ippStsNoErr) << code->text();
        ASSERT_EQ(d.value, expectedValue(*code, description().runLevel));
        ASSERT_EQ(d.consumed, size_t(code->length));
      } else {
        ++rejected;
        ASSERT_EQ(d.status, ippStsVLCErr) << "pattern " << pattern;
        ASSERT_EQ(d.value, 0xF0F1);
        ASSERT_EQ(d.consumed, bitsReadBeforeMarker(list, pattern, width)) << pattern;
      }
    }
  }
  // The dct_dc_size codes are complete prefix codes; every other table has gaps.
  const bool complete = GetParam() == kVlcDcSizeLuma || GetParam() == kVlcDcSizeChroma;
  EXPECT_EQ(rejected == 0, complete);
}

INSTANTIATE_TEST_SUITE_P(Slots, EveryTable, testing::ValuesIn(allSlots()));

TEST(AddressIncrementTable, MacroblockStuffingIsNotACode) {
  BuiltTable table(kVlcAddressIncrement);
  BitWriter w;
  w.putBits("0000 0001 111");
  EXPECT_EQ(decodeAt(w.words(), 31, table.get()).status, ippStsVLCErr);
}

TEST(DecodeOne, RejectsNullArgumentsAndBadOffsets) {
  BuiltTable table(kVlcMotionCode);
  std::vector<Ipp32u> words = {0x80000000u, 0};
  Ipp32u* word = words.data();
  Ipp32u* nullWord = nullptr;
  int offset = 31;
  Ipp32s value = 0;
  EXPECT_EQ(ippiVCHuffmanDecodeOne_1u32s(nullptr, &offset, &value, table.get()), ippStsNullPtrErr);
  EXPECT_EQ(ippiVCHuffmanDecodeOne_1u32s(&nullWord, &offset, &value, table.get()),
            ippStsNullPtrErr);
  EXPECT_EQ(ippiVCHuffmanDecodeOne_1u32s(&word, nullptr, &value, table.get()), ippStsNullPtrErr);
  EXPECT_EQ(ippiVCHuffmanDecodeOne_1u32s(&word, &offset, nullptr, table.get()), ippStsNullPtrErr);
  EXPECT_EQ(ippiVCHuffmanDecodeOne_1u32s(&word, &offset, &value, nullptr), ippStsNullPtrErr);
  offset = 32;
  EXPECT_EQ(ippiVCHuffmanDecodeOne_1u32s(&word, &offset, &value, table.get()), ippStsVLCErr);
  offset = -1;
  EXPECT_EQ(ippiVCHuffmanDecodeOne_1u32s(&word, &offset, &value, table.get()), ippStsVLCErr);
  EXPECT_EQ(word, words.data());
}

IppStatus buildPlain(std::vector<Ipp32s> description, IppVCHuffmanSpec_32s** table) {
  return ippiVCHuffmanInitAlloc_32s(description.data(), table);
}

// A table whose walk reads more bits than the current and the next word hold
// from some offsets (five levels of 7 bits for 30-bit codes): decoding takes
// the level-by-level path there and must give the same results.
TEST(DecodeOne, WalksBeyondTwoWordsDecodeAtEveryOffset) {
  std::vector<Ipp32s> description = {30, 5, 7, 7, 7, 7, 7, 1, 1, 7};  // "1" -> 7
  for (int length = 2; length < 30; ++length) description.push_back(0);
  description.insert(description.end(),
                     {2, 1, 9, 0, 11, -1});  // 29 zeros and 1 -> 9; 30 zeros -> 11
  IppVCHuffmanSpec_32s* table = nullptr;
  ASSERT_EQ(buildPlain(description, &table), ippStsNoErr);
  struct Case {
    uint32_t bits;
    int length;
    IppStatus status;
    Ipp32s value;
    size_t consumed;
  };
  const Case cases[] = {
      {1, 30, ippStsNoErr, 9, 30},       {0, 30, ippStsNoErr, 11, 30}, {1, 1, ippStsNoErr, 7, 1},
      {3, 30, ippStsVLCErr, 0xF0F1, 35},  // 28 zeros, 1: no code at the fifth level
      {1, 15, ippStsVLCErr, 0xF0F1, 21},  // 14 zeros, 1: no code at the third level
  };
  std::mt19937 random(3);
  for (const Case& c : cases) {
    for (int offset = 0; offset < 32; ++offset) {
      BitWriter w;
      w.put(random(), 31 - offset);
      w.put(c.bits, c.length);
      w.put(random() | 1u << 31, 32);  // a 1 after the pattern ends any run of zeros
      const Decoded d = decodeAt(w.words(), offset, table);
      ASSERT_EQ(d.status, c.status) << c.bits << "/" << c.length << " at offset " << offset;
      EXPECT_EQ(d.value, c.value);
      EXPECT_EQ(d.consumed, c.consumed) << c.bits << "/" << c.length << " at offset " << offset;
    }
  }
  EXPECT_EQ(ippiVCHuffmanFree_32s(&table), ippStsNoErr);
}

TEST(TableBuilder, RejectsDescriptionsThatDoNotFormAPrefixCode) {
  IppVCHuffmanSpec_32s* table = reinterpret_cast<IppVCHuffmanSpec_32s*>(&table);
  // "1" is a prefix of "10".
  EXPECT_EQ(buildPlain({2, 1, 2, 1, 1, 5, 1, 2, 6, -1}, &table), ippStsVLCErr);
  EXPECT_EQ(table, nullptr);
  // The same code twice.
  EXPECT_EQ(buildPlain({2, 1, 2, 0, 2, 1, 5, 1, 6, -1}, &table), ippStsVLCErr);
  // A code wider than its length.
  EXPECT_EQ(buildPlain({2, 1, 2, 1, 2, 5, -1}, &table), ippStsVLCErr);
}

TEST(TableBuilder, RejectsDescriptionsThatDoNotFitTheirLevels) {
  IppVCHuffmanSpec_32s* table = nullptr;
  // Level widths shorter than the longest code.
  EXPECT_EQ(buildPlain({3, 1, 2, 0, 0, 1, 1, 5, -1}, &table), ippStsSizeErr);
  // A code longer than maxLength (the terminator is missing where expected).
  EXPECT_EQ(buildPlain({1, 1, 2, 1, 1, 5, 1, 1, 6, -1}, &table), ippStsSizeErr);
  // A first level wider than the storage of a plain table.
  EXPECT_EQ(buildPlain({16, 1, 16, 1, 1, 5, -1}, &table), ippStsSizeErr);
  // A value that does not fit the 24-bit leaf field.
  EXPECT_EQ(buildPlain({1, 1, 1, 1, 1, 1 << 24, -1}, &table), ippStsSizeErr);
  EXPECT_EQ(table, nullptr);
  // The same first level fits the larger run/level storage.
  const Ipp32s wide[] = {16, 1, 16, 1, 1, 5, 0, -1};
  EXPECT_EQ(ippiVCHuffmanInitAllocRL_32s(wide, &table), ippStsNoErr);
  EXPECT_EQ(ippiVCHuffmanFree_32s(&table), ippStsNoErr);
}

TEST(TableBuilder, NullArgumentsAndFree) {
  IppVCHuffmanSpec_32s* table = nullptr;
  EXPECT_EQ(ippiVCHuffmanInitAlloc_32s(nullptr, &table), ippStsNullPtrErr);
  EXPECT_EQ(ippiVCHuffmanInitAllocRL_32s(kCoefficientZeroCodes, nullptr), ippStsNullPtrErr);
  EXPECT_EQ(ippiVCHuffmanFree_32s(nullptr), ippStsNullPtrErr);
  EXPECT_EQ(ippiVCHuffmanFree_32s(&table), ippStsNoErr);  // nothing to free
  ASSERT_EQ(ippiVCHuffmanInitAlloc_32s(kMotionCodeCodes, &table), ippStsNoErr);
  EXPECT_NE(table, nullptr);
  EXPECT_EQ(ippiVCHuffmanFree_32s(&table), ippStsNoErr);
  EXPECT_EQ(table, nullptr);
}

TEST(VlcTableSet, IsBuiltByTheFirstHolderAndFreedByTheLast) {
  VlcTableSet* first = acquireVlcTableSet();
  for (const IppVCHuffmanSpec_32s* t : first->table) EXPECT_NE(t, nullptr);
  const IppVCHuffmanSpec_32s* motion = first->table[kVlcMotionCode];

  VlcTableSet* second = acquireVlcTableSet();
  EXPECT_EQ(second, first);
  EXPECT_EQ(second->table[kVlcMotionCode], motion);  // not rebuilt
  releaseVlcTableSet();
  for (const IppVCHuffmanSpec_32s* t : first->table) EXPECT_NE(t, nullptr);

  releaseVlcTableSet();
  for (const IppVCHuffmanSpec_32s* t : first->table) EXPECT_EQ(t, nullptr);
  releaseVlcTableSet();  // one release too many changes nothing

  VlcTableSet* again = acquireVlcTableSet();
  for (const IppVCHuffmanSpec_32s* t : again->table) EXPECT_NE(t, nullptr);
  BitWriter w;
  w.putBits("0000 0001 000");
  EXPECT_EQ(decodeAt(w.words(), 31, again->table[kVlcAddressIncrement]).value, 65535);
  releaseVlcTableSet();
}

}  // namespace
}  // namespace quarlin::test
