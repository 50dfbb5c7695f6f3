// Layout of a built variable-length decode table (shared by the builder, the
// decoders and the tests). A table is an array of 32-bit elements: element 0
// holds the width of the first lookup level, elements 1 .. 2^width its
// entries. Each entry is one of
//   leaf    value << 8 | unusedBits  (unusedBits 0..31: looked-up bits beyond
//                                     the code, given back after the lookup)
//   link    offset << 8 | 0x80       (offset: element index of a sub-array
//                                     whose element 0 is its width)
//   marker  0xF0F101                 (no code reaches this entry)
// Run/level tables store value = level << 8 | run, so a leaf is
// level << 16 | run << 8 | unusedBits with level a signed 16-bit field.
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

// Fixed storage sizes in 32-bit elements: 65,536 and 1,048,576 bytes.
constexpr size_t kPlainTableElements = 65536 / sizeof(int32_t);
constexpr size_t kRunLevelTableElements = 1048576 / sizeof(int32_t);

// Lookup widths a table may use; 16 bits keep any sub-array within storage.
constexpr int kMaxLevelWidth = 16;
constexpr int kMaxCodeLength = 32;

constexpr bool isLink(int32_t entry) { return (entry & kLowByteMask) == kLinkFlag; }
constexpr int32_t makeLink(int32_t offset) { return offset << 8 | kLinkFlag; }
constexpr int32_t linkOffset(int32_t entry) { return entry >> 8; }
constexpr int32_t makeLeaf(int32_t value, int unusedBits) {
  return static_cast<int32_t>(static_cast<uint32_t>(value) << 8) | unusedBits;
}
constexpr int32_t leafValue(int32_t entry) { return entry >> 8; }
constexpr int leafUnusedBits(int32_t entry) { return entry & kLowByteMask; }
constexpr int leafRun(int32_t entry) { return (entry >> 8) & 0xFF; }
constexpr int leafLevel(int32_t entry) { return entry >> 16; }
constexpr int32_t runLevelValue(int32_t run, int32_t level) {
  return static_cast<int32_t>(static_cast<uint32_t>(level) << 8) | run;
}

}  // namespace quarlin::vlc
