// The bit reader every parser uses. A complete picture unit is stored as
// 32-bit words whose bytes are reversed, so a native little-endian load of
// word k gives stream bytes 4k..4k+3 from most to least significant. The read
// position is the word holding the next unread bit and that bit's index
// within it (31 = most significant). A position is on a byte boundary when
// bitOffset is 31, 23, 15 or 7.
#pragma once
#include <cstdint>

namespace quarlin {

struct BitReader {
  uint32_t* wordPtr = nullptr;
  int32_t bitOffset = 31;  // 0..31

  bool atByteBoundary() const { return (bitOffset & 7) == 7; }
};

// Reads n bits, 1 <= n <= 32. When the bits cross into the next word the two
// parts are joined and the reader moves on one word. The right shift of the
// second word is split in two so that a shift by 32 gives 0.
inline uint32_t readBits(uint32_t*& wordPtr, int32_t& bitOffset, int n) {
  int32_t o = bitOffset - n;
  uint32_t value;
  if (o >= 0) {
    value = wordPtr[0] >> (o + 1);
  } else {
    o += 32;
    value = (wordPtr[0] << (31 - o)) + ((wordPtr[1] >> o) >> 1);
    ++wordPtr;
  }
  bitOffset = o;
  return n == 32 ? value : value & ((1u << n) - 1u);
}

inline uint32_t showBits(const uint32_t* wordPtr, int32_t bitOffset, int n) {
  uint32_t* p = const_cast<uint32_t*>(wordPtr);
  return readBits(p, bitOffset, n);
}

inline void skipBits(uint32_t*& wordPtr, int32_t& bitOffset, int n) {
  int32_t o = bitOffset - n;
  if (o < 0) {
    o += 32;
    ++wordPtr;
  }
  bitOffset = o;
}

inline uint32_t readBits(BitReader& r, int n) { return readBits(r.wordPtr, r.bitOffset, n); }
inline uint32_t showBits(const BitReader& r, int n) { return showBits(r.wordPtr, r.bitOffset, n); }
inline void skipBits(BitReader& r, int n) { skipBits(r.wordPtr, r.bitOffset, n); }

// Steps back one bit (used where a flag read turns out to belong to the
// next field).
inline void unreadBit(BitReader& r) {
  if (r.bitOffset == 31) {
    --r.wordPtr;
    r.bitOffset = 0;
  } else {
    ++r.bitOffset;
  }
}

// Byte offset of the next unread bit's byte from `base` (bits of a partly
// read byte count as that byte).
inline int64_t bytePosition(const BitReader& r, const uint32_t* base) {
  return static_cast<int64_t>(r.wordPtr - base) * 4 + (31 - r.bitOffset) / 8;
}

}  // namespace quarlin
