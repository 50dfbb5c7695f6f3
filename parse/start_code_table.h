// The start codes found in the current picture unit: for entry i, its code
// (0x100 | code byte), the byte offset from the unit's data of the aligned
// word holding its first byte, and the bit index of its first bit in that
// word (31, 23, 15 or 7 for a code starting at byte 0, 1, 2 or 3 of the word).
// One table per session, shared by its units.
#pragma once
#include <cstdint>
#include <vector>

#include "foundation/kelso/stl_allocator.h"

namespace quarlin {

struct StartCodeTable {
  template <class T>
  using Array = std::vector<T, Kelso::STLAllocator<T>>;

  Array<uint32_t> codes;
  Array<uint32_t> wordOffsets;
  Array<uint32_t> bitIndices;

  void clear() {
    codes.clear();
    wordOffsets.clear();
    bitIndices.clear();
  }
};

}  // namespace quarlin
