// A plain model of the variable-length codes, independent of the built
// tables: the entries of a code description as a list, and a decoder that
// reads one bit at a time and compares the bits read so far with every code.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "primitives/primitives.h"

namespace quarlin::test {

struct Code {
  int length;     // bits, sign bit included
  uint32_t bits;  // the code as an integer of `length` bits
  int32_t value;  // plain tables
  int run;        // run/level tables (254 end_of_block, 255 escape)
  int level;
  std::string text() const;  // "0010 1" style
};

struct CodeList {
  int maxLength = 0;
  std::vector<int> levelWidths;
  std::vector<Code> codes;

  // The code whose bits match exactly, if any.
  const Code* find(int length, uint32_t bits) const;
  // The code for a run/level pair (run 254/255 for end_of_block/escape).
  const Code* findRunLevel(int run, int level) const;

 private:
  friend CodeList parseDescription(const Ipp32s* description, bool runLevel);
  std::map<std::pair<int, uint32_t>, size_t> byBits_;
  std::map<std::pair<int, int>, size_t> byRunLevel_;
};

CodeList parseDescription(const Ipp32s* description, bool runLevel);

// Reads bits with the picture unit's rule: bit `offset` of `*word`, 31 first.
class BitSource {
 public:
  BitSource(const Ipp32u* word, int offset) : word_(word), offset_(offset) {}
  uint32_t bit();
  uint32_t bits(int n);
  const Ipp32u* word() const { return word_; }
  int offset() const { return offset_; }

 private:
  const Ipp32u* word_;
  int offset_;
};

// Matches codes bit by bit; nullopt when the bits read reach maxLength
// without matching (all maxLength bits are then consumed).
std::optional<Code> decodeBitByBit(const CodeList& list, BitSource& source);

}  // namespace quarlin::test
