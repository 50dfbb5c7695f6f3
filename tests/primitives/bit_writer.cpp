#include "bit_writer.h"

#include <cstring>

namespace quarlin::test {

void BitWriter::put(uint32_t value, int n) {
  for (int i = n - 1; i >= 0; --i) {
    if (bitCount_ % 8 == 0) bytes_.push_back(0);
    if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> (bitCount_ % 8));
    ++bitCount_;
  }
}

void BitWriter::putBits(const std::string& bits) {
  for (char c : bits) {
    if (c == '0' || c == '1') put(c == '1' ? 1 : 0, 1);
  }
}

std::vector<Ipp32u> BitWriter::words(size_t padWords, uint8_t padByte) const {
  std::vector<uint8_t> bytes = bytes_;
  const size_t wordCount = (bytes.size() + 3) / 4 + padWords;
  bytes.resize(wordCount * 4, padByte);
  for (size_t i = 0; i < bytes.size(); i += 4) {
    std::swap(bytes[i], bytes[i + 3]);
    std::swap(bytes[i + 1], bytes[i + 2]);
  }
  std::vector<Ipp32u> words(wordCount);
  std::memcpy(words.data(), bytes.data(), bytes.size());
  return words;
}

}  // namespace quarlin::test
