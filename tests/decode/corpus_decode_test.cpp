// Every decodable corpus stream decoded through the library's exports, in
// display order, against FFmpeg and libmpeg2: per-frame PSNR of at least
// 50 dB for each plane, at least 55 dB on average over the stream, and no
// systematic shift (each plane's mean within 0.1 of the reference's). No
// corpus stream is built to provoke IDCT mismatch or coefficient overflow,
// so the bounds hold for every stream. At the reduced scales every frame is
// compared with the reduced-scale model of the full decode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "reference.h"
#include "tests/support/corpus.h"
#include "tests/support/frame_host.h"

namespace quarlin::decodetest {
namespace {

using test::DecodeScale;

struct Decoded {
  explicit Decoded(const test::CorpusStream& s) : session(s.path()), decoder(session) {}
  std::vector<YuvFrame> frames(DecodeScale scale, bool tolerate) {
    std::vector<YuvFrame> out;
    for (const auto& picture : test::decodeAll(decoder, scale, tolerate)) out.push_back(fromPicture(*picture));
    return out;
  }
  // -1: intra; 0: predicted; 1: a B-picture without its forward reference
  // (opening a stream that starts inside a group): no defined content.
  int kind(size_t frame) {
    int32_t forward = -1, backward = -1;
    decoder.dependencies(static_cast<int32_t>(frame), forward, backward);
    return forward < 0 ? (backward < 0 ? -1 : 1) : 0;
  }
  test::ExportedSession session;
  test::HostDecoder decoder;
};

// Compares the frames both show, `reference`'s frame i + offset showing our
// frame i, where the offset matches our first I-frame (before it the two may
// differ: pictures coded before the first I-picture are not indexed, leading
// B-frames of the first group a decoder may drop). `showsAll`: the reference
// shows every frame from our first I-frame on.
void expectMatches(Decoded& stream, const std::vector<YuvFrame>& ours, const std::vector<YuvFrame>& reference,
                   const std::vector<bool>& comparable, const char* who, bool showsAll) {
  size_t first = 0, best = 0;
  while (first + 1 < ours.size() && stream.kind(first) != -1) ++first;
  for (size_t k = 0; k < reference.size(); ++k)
    if (psnr(ours[first], reference[k], 0) > psnr(ours[first], reference[best], 0)) best = k;
  const int64_t offset = static_cast<int64_t>(best) - static_cast<int64_t>(first);
  double sums[3] = {0, 0, 0};
  size_t count = 0, overlap = 0;
  for (size_t i = 0; i < ours.size(); ++i) {
    const int64_t j = static_cast<int64_t>(i) + offset;
    if (j < 0 || j >= static_cast<int64_t>(reference.size())) continue;
    ++overlap;
    if (!comparable[i]) continue;
    const YuvFrame& a = ours[i];
    const YuvFrame& b = reference[static_cast<size_t>(j)];
    for (int p = 0; p < 3; ++p) {
      const double value = psnr(a, b, p);
      sums[p] += value;
      EXPECT_GE(value, 50.0) << who << " frame " << i << " plane " << p;
      // IDCTs differ by a level here and there: on a tiny plane one sample
      // moves the mean.
      EXPECT_LE(std::fabs(meanValue(a, p) - meanValue(b, p)), std::max(0.1, 4.5 / a.plane[p].size()))
          << who << " frame " << i << " plane " << p;
    }
    ++count;
  }
  EXPECT_GT(count, 0u) << who << ": no frame compared";
  for (int p = 0; p < 3 && count > 0; ++p)
    EXPECT_GE(sums[p] / static_cast<double>(count), 55.0) << who << " plane " << p;
  EXPECT_TRUE(!showsAll || overlap >= ours.size() - static_cast<size_t>(-std::min<int64_t>(offset, 0))) << who;
}

class CorpusDecode : public ::testing::TestWithParam<test::CorpusStream> {};

TEST_P(CorpusDecode, MatchesFfmpegAndLibmpeg2) {
  if (!test::onPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  const test::CorpusStream& s = GetParam();
  Decoded stream(s);
  const bool tolerate = s.lastFrameMayFail();
  const std::vector<YuvFrame> ours = stream.frames(DecodeScale::Full, tolerate);
  // A file cut short may end inside a picture: that one frame fails.
  std::vector<bool> comparable(ours.size());
  int failures = 0;
  for (size_t n = 0; n < ours.size(); ++n) {
    failures += stream.decoder.failed(static_cast<int32_t>(n));
    comparable[n] = stream.kind(n) != 1 && !stream.decoder.failed(static_cast<int32_t>(n));
  }
  ASSERT_LE(failures, tolerate ? 1 : 0);
  const int w = ours[0].width, h = ours[0].height;
  expectMatches(stream, ours, ffmpegFrames(s.path(), s.pid(), w, h), comparable, "ffmpeg", true);
  if (!s.mpeg2dec) return;
  if (!test::onPath("mpeg2dec")) GTEST_SKIP() << "mpeg2dec is not installed (the FFmpeg comparison passed)";
  // mpeg2dec leaves out the last pictures of a stream without a
  // sequence_end_code: the frames it has are compared.
  const std::vector<YuvFrame> libmpeg2 = mpeg2decFrames(s.path(), s.container, s.pid(), w, h);
  ASSERT_FALSE(libmpeg2.empty());
  expectMatches(stream, ours, libmpeg2, comparable, "libmpeg2", false);
}

// I-frames coded with frame DCT follow the model to at least 40 dB (field
// DCT and field pictures follow no column model). P- and B-frames drift from
// it by design, as their references are the reduced pictures, but stay far
// closer to it (15 dB mean luma PSNR) than unrelated pictures are.
TEST_P(CorpusDecode, ReducedScalesFollowTheModel) {
  const test::CorpusStream& s = GetParam();
  bool frameDct = s.purpose.find("interlaced") == std::string::npos;
  for (const char* word : {"interlaced", "field", "mixed"})
    frameDct = frameDct && s.file.find(word) == std::string::npos;
  Decoded stream(s);
  const bool tolerate = s.lastFrameMayFail();
  const std::vector<YuvFrame> full = stream.frames(DecodeScale::Full, tolerate);
  for (const DecodeScale scale : {DecodeScale::HalfWidth, DecodeScale::Quarter}) {
    const std::vector<YuvFrame> reduced = stream.frames(scale, tolerate);
    double driftSum = 0, intraMin = 99;
    int driftCount = 0;
    for (size_t n = 0; n < full.size(); ++n) {
      if (stream.decoder.failed(static_cast<int32_t>(n))) continue;  // the picture a cut file ends in
      const YuvFrame model = reducedModel(full[n], scale == DecodeScale::Quarter);
      ASSERT_EQ(reduced[n].width, model.width);
      ASSERT_EQ(reduced[n].height, model.height);
      const double value = psnr(reduced[n], model, 0);
      if (stream.kind(n) != -1) {
        driftSum += value, ++driftCount;
      } else if (frameDct) {
        EXPECT_GE(value, 40.0) << tool::scaleName(scale) << " I-frame " << n;
        intraMin = std::min(intraMin, value);
      }
    }
    if (driftCount == 0) continue;
    std::printf("[ drift    ] %s: P/B mean luma PSNR %.2f dB over %d frames; I-frames at least %.2f dB\n",
                tool::scaleName(scale), driftSum / driftCount, driftCount, intraMin);
    EXPECT_GE(driftSum / driftCount, 15.0) << tool::scaleName(scale);
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusDecode, ::testing::ValuesIn(test::decodableStreams()),
                         test::CorpusTestName());

}  // namespace
}  // namespace quarlin::decodetest
