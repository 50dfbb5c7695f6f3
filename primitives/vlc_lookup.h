// The general table walk of the generic decoders, one level at a time through
// a BitCursor, for tables of any depth.
#pragma once
#include <cstdint>

#include "primitives/bit_cursor.h"
#include "primitives/vlc_table_format.h"

namespace quarlin::generic {

// Looks up the code at the cursor: one lookup per level. Returns the leaf and
// consumes exactly the code's bits (the looked-up bits beyond the code are
// given back), or returns vlc::kMarker with every looked-up bit consumed.
inline int32_t lookupCode(const int32_t* table, BitCursor& bits) {
  int width = table[0];
  int32_t entry = table[1 + bits.peek(width)];
  while (vlc::isLink(entry)) {
    bits.skip(width);
    const int32_t* level = table + vlc::linkOffset(entry);
    width = level[0];
    entry = level[1 + bits.peek(width)];
  }
  bits.skip(entry == vlc::kMarker ? width : vlc::leafCodeBits(entry));
  return entry;
}

inline const int32_t* tableElements(const IppVCHuffmanSpec_32s* table) {
  return reinterpret_cast<const int32_t*>(table);
}

}  // namespace quarlin::generic
