// The table walk over a BitCache, for the decoders that keep the reader's
// bits in a local cache: the coefficient loops and the macroblock layer's
// codes. It consumes exactly what lookupCode does through a BitCursor: the
// code's bits, or every looked-up bit of an unmatched code.
#pragma once
#include <cstdint>

#include "primitives/bit_cache.h"
#include "primitives/vlc_table_format.h"

namespace quarlin::generic {

// The rest of a table walk from an `entry` just looked up with `width` bits
// (at least `width` bits valid in the cache): follows links one level at a time (each lookup is at
// most 16 bits, so one fill per level suffices), then consumes the code's bits, or every looked-up
// bit for an unmatched code. Returns the leaf or vlc::kMarker.
inline int32_t finishLookup(const int32_t* table, int width, int32_t entry, BitCache& bits) {
  while (vlc::isLink(entry)) {
    bits.skip(width);
    bits.fill();
    const int32_t* level = table + vlc::linkOffset(entry);
    width = level[0];
    entry = level[1 + bits.peek(width)];
  }
  bits.skip(entry == vlc::kMarker ? width : vlc::leafCodeBits(entry));
  return entry;
}

// Looks up the code at the cache's position: the leaf or vlc::kMarker.
inline int32_t lookupCode(const int32_t* table, BitCache& bits) {
  bits.fill();
  const int width = table[0];
  return finishLookup(table, width, table[1 + bits.peek(width)], bits);
}

}  // namespace quarlin::generic
