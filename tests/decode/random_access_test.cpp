// Random access: every frame decoded alone, through its dependency chain
// from an empty cache, in shuffled order, equals the same frame of the
// sequential decode.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "decoded_stream.h"
#include "tests/support/corpus.h"

namespace quarlin::decodetest {
namespace {

using test::CorpusStream;

class RandomAccess : public ::testing::TestWithParam<CorpusStream> {};

TEST_P(RandomAccess, EveryFrameAloneEqualsTheSequentialDecode) {
  const CorpusStream& s = GetParam();
  DecodedStream stream(s.path());
  const bool tolerate = s.lastFrameMayFail();
  const std::vector<YuvFrame> sequential = stream.decodeAll(tool::DecodeScale::Full, tolerate);
  std::vector<int32_t> order(static_cast<size_t>(stream.frameCount()));
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), std::mt19937(20261205u));
  for (int32_t n : order) {
    if (stream.decoder().failed(n)) continue;  // the picture a cut file ends in
    ASSERT_TRUE(stream.decodeAlone(n, tool::DecodeScale::Full) == sequential[static_cast<size_t>(n)])
        << "frame " << n;
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, RandomAccess, ::testing::ValuesIn(test::decodableStreams()),
                         test::CorpusTestName());

}  // namespace
}  // namespace quarlin::decodetest
