// A left-aligned 64-bit cache of the reader's bits, for the generic decoders
// that read many codes in a row (the coefficient loops): the next unread bit
// is bit 63 of a local, so a code costs a shift and a table lookup, and a
// word is loaded once per 32 bits rather than on every read.
//
// It starts from a reader position (the word holding the next unread bit and
// that bit's index, 31 = most significant) and gives one back with the same
// rule: word() and offset() name the first bit not consumed, exactly as if
// the bits had been read one code at a time. Words are loaded ahead of the
// position: fill() may load up to two words past the word holding the next
// unread bit. Picture units keep kilobytes of slack after their last byte, so
// this stays inside the unit's storage.
#pragma once
#include <cstddef>
#include <cstdint>

#include "primitives/primitives.h"

namespace quarlin::generic {

class BitCache {
 public:
  static constexpr int kGuaranteed = 32;  // valid bits after fill()

  // offset 0..31.
  BitCache(const Ipp32u* word, int offset)
      : bits_(uint64_t{word[0]} << (63 - offset)), count_(offset + 1), next_(word + 1) {}

  // Makes at least 32 bits valid (count 32..63 afterwards).
  void fill() {
    if (count_ < kGuaranteed) {
      bits_ |= (uint64_t{*next_++} << 32) >> count_;  // below the count_ valid bits
      count_ += 32;
    }
  }

  // The next n bits (1..32), not consumed; n must not exceed the valid count.
  uint32_t peek(int n) const { return static_cast<uint32_t>(bits_ >> (64 - n)); }

  // The same as a table index (no zero extension on the lookup's path).
  size_t index(int n) const { return static_cast<size_t>(bits_ >> (64 - n)); }

  // Consumes n bits (0..valid count); the bits below the valid ones stay zero.
  void skip(int n) {
    bits_ <<= n;
    count_ -= n;
  }

  uint32_t read(int n) {
    const uint32_t value = peek(n);
    skip(n);
    return value;
  }

  // As read(), for n in 0..32: reading 0 bits gives 0.
  uint32_t readUpTo(int n) {
    const uint32_t value = static_cast<uint32_t>((bits_ >> 1) >> (63 - n));
    skip(n);
    return value;
  }

  // The reader position of the first unconsumed bit. The loaded words end at
  // bit 0 of next_[-1], count_ bits after it.
  const Ipp32u* word() const { return next_ - ((count_ + 31) >> 5); }
  int offset() const { return (count_ - 1) & 31; }

 private:
  uint64_t bits_;       // bit 63 is the next unread bit; invalid bits are zero
  int count_;           // valid bits, 0..63
  const Ipp32u* next_;  // the next word to load
};

}  // namespace quarlin::generic
