// Random access: every frame decoded alone, through its dependency chain
// from an empty cache, in shuffled order, equals the same frame of the
// sequential decode; the same request asked twice writes the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "corpus_catalog.h"
#include "decoded_stream.h"
#include "stream_names.h"

namespace quarlin::decodetest {
namespace {

class RandomAccess : public ::testing::TestWithParam<CorpusStream> {};

TEST_P(RandomAccess, EveryFrameAloneEqualsTheSequentialDecode) {
  const CorpusStream& s = GetParam();
  DecodedStream stream(s.path());
  const bool tolerate = lastFrameMayFail(s);
  const std::vector<YuvFrame> sequential = stream.decodeAll(tool::DecodeScale::Full, tolerate);
  int32_t frames = stream.frameCount();
  if (tolerate) --frames;  // the cut-off picture
  std::vector<int32_t> order(static_cast<size_t>(frames));
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), std::mt19937(20261205u));
  for (int32_t n : order)
    ASSERT_TRUE(stream.decodeAlone(n, tool::DecodeScale::Full) == sequential[static_cast<size_t>(n)])
        << "frame " << n;
}

TEST_P(RandomAccess, AskingTwiceWritesTheSameBytes) {
  const CorpusStream& s = GetParam();
  DecodedStream stream(s.path());
  tool::FrameServer server(stream.decoder(), stream.geometry(), tool::DecodeScale::Full);
  const tool::PlaneLayout layout = tool::planeLayout(stream.geometry(), tool::DecodeScale::Full);
  const int32_t frames = stream.frameCount() - (lastFrameMayFail(s) ? 1 : 0);
  for (int32_t n = 0; n < frames; n += 3) {
    int32_t refs[2] = {-1, -1};
    ASSERT_EQ(stream.decoder().dependencies(n, refs[0], refs[1]), 0);
    PlaneSet sets[2] = {};
    std::shared_ptr<const tool::Picture> held[2];
    for (int k = 0; k < 2; ++k)
      if (refs[k] >= 0) sets[k] = (held[k] = server.frame(refs[k]))->planeSet();
    tool::Picture first(layout, tool::DecodeScale::Full), second(layout, tool::DecodeScale::Full);
    for (tool::Picture* picture : {&first, &second})
      for (int p = 0; p < 3; ++p) std::fill_n(picture->plane(p), picture->planeBytes(p), uint8_t{0x33});
    ASSERT_EQ(stream.decoder().decode(n, sets[0], sets[1], first.planeSet(), tool::DecodeScale::Full), 0);
    ASSERT_EQ(stream.decoder().decode(n, sets[0], sets[1], second.planeSet(), tool::DecodeScale::Full), 0);
    for (int p = 0; p < 3; ++p)
      ASSERT_TRUE(std::equal(first.plane(p), first.plane(p) + first.planeBytes(p), second.plane(p)))
          << "frame " << n << " plane " << p;
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, RandomAccess, ::testing::ValuesIn(decodableStreams()), streamTestName);

}  // namespace
}  // namespace quarlin::decodetest
