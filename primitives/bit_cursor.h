// Bit reading over byte-reversed 32-bit words, kept in locals by the generic
// decoders. A position is the word holding the next unread bit and that bit's
// index (31 = most significant); reading n bits lowers the index by n and
// moves to the next word when it passes below 0, as every parser of the
// picture unit does.
#pragma once
#include <cstdint>

#include "primitives/primitives.h"

namespace quarlin::generic {

struct BitCursor {
  const Ipp32u* word;
  int offset;  // 0..31

  static bool validOffset(int offset) { return offset >= 0 && offset <= 31; }

  // The next n bits (1..32) as an unsigned value, not consumed. The word after
  // the current one is loaded only when the n bits reach into it.
  uint32_t peek(int n) const {
    const uint64_t pair = (uint64_t{word[0]} << 32) | word[n > offset + 1 ? 1 : 0];
    return static_cast<uint32_t>((pair << (31 - offset)) >> (64 - n));
  }

  // Consumes n bits, 0..32.
  void skip(int n) {
    const int next = offset - n;  // -32..31
    word += next < 0 ? 1 : 0;
    offset = next & 31;
  }

  uint32_t read(int n) {
    const uint32_t value = peek(n);
    skip(n);
    return value;
  }
};

}  // namespace quarlin::generic
