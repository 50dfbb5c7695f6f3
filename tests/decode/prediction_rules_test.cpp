// The prediction rules of docs/prediction-rules.md on a stream where each of
// them decides the output (prediction_rules_stream.h): same-parity fields
// for skipped and pattern-only macroblocks of P fields, the second field of
// a P frame predicting from the first, skipped macroblocks of B fields and
// B frames, dual prime in both fields, PMV[1] after field prediction. The
// library, FFmpeg and libmpeg2 must agree to within 1 on every sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "decoded_stream.h"
#include "prediction_rules_stream.h"
#include "reference_decoders.h"
#include "tests/support/corpus.h"

namespace quarlin::decodetest {
namespace {

int maxDifference(const YuvFrame& a, const YuvFrame& b) {
  int worst = 0;
  for (int p = 0; p < 3; ++p)
    for (size_t i = 0; i < a.plane[p].size() && i < b.plane[p].size(); ++i)
      worst = std::max(worst, std::abs(int{a.plane[p][i]} - int{b.plane[p][i]}));
  return worst;
}

TEST(PredictionRules, EveryDecoderAgreesOnTheRuleStream) {
  if (!ffmpegAvailable()) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string path = ::testing::TempDir() + "prediction-rules.m2v";
  test::writeFileBytes(path, predictionRulesStream());

  DecodedStream stream(path);
  ASSERT_EQ(stream.frameCount(), 4);
  const std::vector<YuvFrame> ours = stream.decodeAll(tool::DecodeScale::Full);
  for (const RecordingDecoder::Call& call : stream.decoder().calls) ASSERT_EQ(call.result, 0) << call.frame;

  const std::vector<YuvFrame> ffmpeg = ffmpegFrames(path, -1, 64, 64);
  ASSERT_EQ(ffmpeg.size(), 4u);
  for (size_t n = 0; n < 4; ++n) EXPECT_LE(maxDifference(ours[n], ffmpeg[n]), 1) << "ffmpeg, frame " << n;

  if (!mpeg2decAvailable()) GTEST_SKIP() << "mpeg2dec is not installed (the FFmpeg comparison passed)";
  const std::vector<YuvFrame> libmpeg2 = mpeg2decFrames(path, "es", -1, 64, 64);
  ASSERT_EQ(libmpeg2.size(), 4u);
  for (size_t n = 0; n < 4; ++n) {
    EXPECT_LE(maxDifference(ours[n], libmpeg2[n]), 1) << "libmpeg2, frame " << n;
    EXPECT_LE(maxDifference(ffmpeg[n], libmpeg2[n]), 1) << "FFmpeg against libmpeg2, frame " << n;
  }
}

}  // namespace
}  // namespace quarlin::decodetest
