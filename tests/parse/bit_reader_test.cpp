// The word-based bit reader against a plain bit-by-bit reading of the same
// bytes, with reads of every width crossing word boundaries.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "parse/bit_reader.h"
#include "parse/stream_buffer.h"

namespace quarlin {
namespace {

struct PlainReader {
  const std::vector<uint8_t>& bytes;
  size_t bit = 0;
  uint32_t read(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i, ++bit) v = (v << 1) | ((bytes[bit / 8] >> (7 - bit % 8)) & 1);
    return v;
  }
};

TEST(BitReaderTest, MatchesABitByBitReadingOnRandomData) {
  std::mt19937 random(20240521);
  std::vector<uint8_t> bytes(4096 + 8);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  std::vector<uint32_t> words(bytes.size() / 4);
  std::memcpy(words.data(), bytes.data(), bytes.size());
  reverseWordBytes(reinterpret_cast<uint8_t*>(words.data()), 0, static_cast<int32_t>(words.size()));

  PlainReader plain{bytes};
  BitReader r{words.data(), 31};
  while (plain.bit < 8 * 4096) {
    const int n = 1 + static_cast<int>(random() % 32);
    const int action = static_cast<int>(random() % 3);
    const uint32_t shown = showBits(r, n);
    const size_t before = plain.bit;
    const uint32_t expected = plain.read(n);
    ASSERT_EQ(shown, expected) << "show " << n << " bits at bit " << before;
    if (action == 0) {
      ASSERT_EQ(readBits(r, n), expected) << "read " << n << " bits at bit " << before;
    } else if (action == 1) {
      skipBits(r, n);
    } else {
      // Read, then step one bit back and read it again.
      readBits(r, n);
      unreadBit(r);
      ASSERT_EQ(readBits(r, 1), expected & 1u);
    }
    ASSERT_EQ(static_cast<size_t>(r.wordPtr - words.data()) * 32 + static_cast<size_t>(31 - r.bitOffset),
              plain.bit);
    ASSERT_EQ(r.atByteBoundary(), plain.bit % 8 == 0);
    ASSERT_EQ(bytePosition(r, words.data()), static_cast<int64_t>(plain.bit / 8));
  }
}

}  // namespace
}  // namespace quarlin
