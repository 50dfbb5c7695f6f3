// Layout of a built variable-length decode table (shared by the builder, the
// decoders and the tests). A table is an array of 32-bit elements: element 0
// holds the width of the first lookup level, elements 1 .. 2^width its
// entries. Each entry is one of
//   leaf    value << 8 | codeBits    (codeBits 1..16: the bits of the code
//                                     within this entry's level, consumed by
//                                     the lookup; the rest are given back),
//                                     plus kZeroLevelFlag when value >> 8 is 0
//   link    offset << 8 | 0x80       (offset: element index of a sub-array
//                                     whose element 0 is its width)
//   marker  0xF0F101                 (no code reaches this entry)
// Run/level tables store value = level << 8 | run, so a leaf is
// level << 16 | run << 8 | codeBits with level a signed 16-bit field.
// (Run 254 is end_of_block and run 255 the escape: vlc_table_set.h.)
//
// Constants and constexpr helpers only, the same for every tier.
#pragma once
#include <cstddef>
#include <cstdint>

namespace quarlin::vlc {

constexpr int32_t kMarker = 0xF0F101;
constexpr int32_t kInvalidValue = 0xF0F1;  // value reported with an unmatched code
constexpr int32_t kLinkFlag = 0x80;
constexpr int32_t kLowByteMask = 0xFF;
constexpr int32_t kCodeBitsMask = 0x1F;
// Marks a leaf whose level field (bits 16..31) is 0, which no coefficient of
// the standard tables has: the coefficient loops leave such a leaf, and any
// plain table's leaf of a value below 256, to their general path.
constexpr int32_t kZeroLevelFlag = 0x40;

// Fixed storage sizes in 32-bit elements: 65,536 and 1,048,576 bytes.
constexpr size_t kPlainTableElements = 65536 / sizeof(int32_t);
constexpr size_t kRunLevelTableElements = 1048576 / sizeof(int32_t);

// Lookup widths a table may use; 16 bits keep any sub-array within storage.
constexpr int kMaxLevelWidth = 16;
constexpr int kMaxCodeLength = 32;

constexpr bool isLink(int32_t entry) { return (entry & kLowByteMask) == kLinkFlag; }
constexpr int32_t makeLink(int32_t offset) { return offset << 8 | kLinkFlag; }
constexpr int32_t linkOffset(int32_t entry) { return entry >> 8; }
constexpr int32_t makeLeaf(int32_t value, int codeBits) {
  const int32_t leaf = static_cast<int32_t>(static_cast<uint32_t>(value) << 8) | codeBits;
  return (leaf >> 16) == 0 ? leaf | kZeroLevelFlag : leaf;
}
constexpr int32_t leafValue(int32_t entry) { return entry >> 8; }
constexpr int leafCodeBits(int32_t entry) { return entry & kCodeBitsMask; }
constexpr int leafRun(int32_t entry) { return (entry >> 8) & 0xFF; }
constexpr int leafLevel(int32_t entry) { return entry >> 16; }
constexpr int32_t runLevelValue(int32_t run, int32_t level) {
  return static_cast<int32_t>(static_cast<uint32_t>(level) << 8) | run;
}

}  // namespace quarlin::vlc
