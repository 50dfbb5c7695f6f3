// Field-coded frames are decoded at full size whatever the decoding options
// ask for. (That one request writes both fields is checked with the repeated
// requests.)
#include <gtest/gtest.h>

#include "tests/decode_dispatch/dispatch_harness.h"

namespace quarlin::dispatchtest {
namespace {

class FieldCodedFrames : public testing::TestWithParam<CorpusStream> {};

TEST_P(FieldCodedFrames, ReducedOptionsGiveTheFullSizeLayout) {
  const std::map<int32_t, DecodedFrame> full = decodeStream(GetParam().path(), kFull);
  for (const Scale& scale : {kHalfWidth, kQuarter}) {
    const std::map<int32_t, DecodedFrame> reduced = decodeStream(GetParam().path(), scale);
    ASSERT_EQ(reduced.size(), full.size());
    for (const auto& [frame, decoded] : full) {
      const DecodedFrame& other = reduced.at(frame);
      EXPECT_EQ(other.result, 0) << scale.name << ", frame " << frame;
      EXPECT_TRUE(other.fieldCoded) << scale.name << ", frame " << frame;
      // Whole planes, padding included: the same bytes at the same places.
      EXPECT_TRUE(other.picture == decoded.picture)
          << scale.name << ", frame " << frame << ": " << firstDifference(decoded.picture, other.picture);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Streams, FieldCodedFrames,
                         testing::ValuesIn(test::corpusStreams({"es-field-pictures-tff.m2v",
                                                                "es-field-pictures-bff.m2v"})),
                         test::CorpusTestName());

}  // namespace
}  // namespace quarlin::dispatchtest
