// The start codes found in the current picture unit: for entry i, its code
// (0x100 | code byte), the byte offset from the unit's data of the aligned
// word holding its first byte, and the bit index of its first bit in that
// word (31, 23, 15 or 7 for a code starting at byte 0, 1, 2 or 3 of the word).
// rowTally counts, per slice row (slice start code - 0x101), how the slices
// of the unit lie on rows. One table per session, shared by its units.
#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "foundation/kelso/stl_allocator.h"

namespace quarlin {

struct StartCodeTable {
  template <class T>
  using Array = std::vector<T, Kelso::STLAllocator<T>>;
  using Tally = std::map<uint32_t, uint32_t, std::less<uint32_t>,
                         Kelso::STLAllocator<std::pair<const uint32_t, uint32_t>>>;

  Array<uint32_t> codes;
  Array<uint32_t> wordOffsets;
  Array<uint32_t> bitIndices;
  Tally rowTally;

  void clear() {
    codes.clear();
    wordOffsets.clear();
    bitIndices.clear();
    rowTally.clear();
  }
};

}  // namespace quarlin
