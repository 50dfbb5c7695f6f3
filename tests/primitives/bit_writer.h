// Builds coded test streams: bits are appended most significant first in
// stream (file) order, then the bytes are put into the reader's word order
// (each group of four bytes reversed, so a native load of word k gives bytes
// 4k..4k+3 most significant first), as the picture-unit assembler does.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "primitives/primitives.h"

namespace quarlin::test {

class BitWriter {
 public:
  // Appends the low n bits of value, n 0..32.
  void put(uint32_t value, int n);
  // Appends a string of '0' and '1' characters (other characters are skipped).
  void putBits(const std::string& bits);
  size_t bitCount() const { return bitCount_; }
  // The stream in reader word order, followed by `padWords` words of
  // `padByte` bytes.
  std::vector<Ipp32u> words(size_t padWords = 2, uint8_t padByte = 0) const;

 private:
  std::vector<uint8_t> bytes_;
  size_t bitCount_ = 0;
};

// A reader position expressed as bits consumed from the start of word 0 at
// bit 31; for comparing positions.
inline size_t bitsFromStart(const Ipp32u* base, const Ipp32u* word, int offset) {
  return static_cast<size_t>(word - base) * 32 + static_cast<size_t>(31 - offset);
}

}  // namespace quarlin::test
