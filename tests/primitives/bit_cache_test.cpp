// The coefficient loops' bit cache must read the same bits as the picture
// unit's reader and hand back exactly the position that reader would have
// reached, from every starting offset and after every mix of reads.
#include "primitives/bit_cache.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "reference_codes.h"

namespace quarlin::test {
namespace {

TEST(BitCache, ReadsAndPositionsMatchTheReader) {
  std::mt19937 random(31);
  std::vector<Ipp32u> words(64);
  for (Ipp32u& w : words) w = Ipp32u(random());
  for (int start = 0; start < 32; ++start) {
    for (int trial = 0; trial < 50; ++trial) {
      generic::BitCache cache(words.data(), start);
      BitSource reader(words.data(), start);
      for (int step = 0; step < 40; ++step) {
        cache.fill();  // at least 32 bits valid
        const int n = int(random() % 33);
        if (n == 0) {
          ASSERT_EQ(cache.word(), reader.word());
          ASSERT_EQ(cache.offset(), reader.offset());
          continue;
        }
        if (random() % 3 == 0) {
          ASSERT_EQ(cache.peek(n), cache.index(n));
          cache.skip(n);
          reader.bits(n);
        } else {
          ASSERT_EQ(cache.read(n), reader.bits(n)) << "start " << start << " step " << step;
        }
        ASSERT_EQ(cache.word(), reader.word()) << "start " << start << " step " << step;
        ASSERT_EQ(cache.offset(), reader.offset()) << "start " << start << " step " << step;
      }
    }
  }
}

// Consuming every valid bit (count 0) gives the next word at bit 31.
TEST(BitCache, EmptyCacheStandsAtTheNextWord) {
  const Ipp32u words[4] = {0x12345678u, 0x9ABCDEF0u, 0, 0};
  generic::BitCache cache(words, 4);
  cache.skip(5);
  EXPECT_EQ(cache.word(), words + 1);
  EXPECT_EQ(cache.offset(), 31);
  cache.fill();
  EXPECT_EQ(cache.read(8), 0x9Au);
}

}  // namespace
}  // namespace quarlin::test
