// Every decodable corpus stream decoded through the library's exports, in
// display order, against FFmpeg and libmpeg2: per-frame PSNR of at least
// 50 dB for each plane, at least 55 dB on average over the stream, and no
// systematic shift (each plane's mean within 0.1 of the reference's). No
// corpus stream is built to provoke IDCT mismatch or coefficient overflow,
// so the bounds hold for every stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "decoded_stream.h"
#include "reference_decoders.h"
#include "tests/support/corpus.h"

namespace quarlin::decodetest {
namespace {

using test::CorpusStream;

// Frames predicted from a picture that is not in the file (the B-pictures
// that open the first group of a stream starting inside a group: their
// forward reference was cut off) have no defined content.
std::vector<bool> comparableFrames(DecodedStream& stream) {
  std::vector<bool> comparable(static_cast<size_t>(stream.frameCount()), true);
  for (int32_t n = 0; n < stream.frameCount(); ++n) {
    int32_t forward = -1, backward = -1;
    stream.decoder().dependencies(n, forward, backward);
    comparable[static_cast<size_t>(n)] = !(forward < 0 && backward >= 0);
  }
  return comparable;
}

// The offset k at which reference frame i + k shows our frame i: our first
// I-frame decodes independently of everything else, so it matches exactly
// there. Streams that start inside a group have leading pictures in the
// reference decodes; a truncated stream may have one more at the end.
// Where our frames lie among a reference decoder's: its frame i + offset
// shows our frame i. Our first I-frame is matched; before it the two may
// differ (pictures coded before the first I-picture, which are not indexed;
// leading B-frames of the first group, which a decoder may drop).
int64_t alignment(DecodedStream& stream, const std::vector<YuvFrame>& ours,
                  const std::vector<YuvFrame>& reference) {
  int32_t first = 0;
  while (first + 1 < stream.frameCount() && !stream.isIntra(first)) ++first;
  size_t best = 0;
  double bestPsnr = -1;
  for (size_t k = 0; k < reference.size(); ++k) {
    const double value = psnr(ours[static_cast<size_t>(first)], reference[k], 0);
    if (value > bestPsnr) bestPsnr = value, best = k;
  }
  return static_cast<int64_t>(best) - first;
}

// Compares the frames both have; returns how many were compared.
size_t expectMatches(const std::vector<YuvFrame>& ours, const std::vector<YuvFrame>& reference, int64_t offset,
                     const std::vector<bool>& comparable, const char* who) {
  double sums[3] = {0, 0, 0}, lowest = 1e9, highest = 0;
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
      lowest = std::min(lowest, value), highest = std::max(highest, value);
      EXPECT_GE(value, 50.0) << who << " frame " << i << " plane " << p;
      // IDCTs differ by a level here and there: on a tiny plane one sample
      // moves the mean.
      const double samples = static_cast<double>(a.plane[p].size());
      EXPECT_LE(std::fabs(meanValue(a, p) - meanValue(b, p)), std::max(0.1, 4.5 / samples))
          << who << " frame " << i << " plane " << p;
    }
    ++count;
  }
  EXPECT_GT(count, 0u) << who << ": no frame compared";
  std::printf("[ psnr     ] %s: %zu of our frames compared, %zu shown by both, per-plane PSNR %.1f..%.1f dB\n", who, count,
              overlap, lowest, highest);
  for (int p = 0; p < 3 && count > 0; ++p) EXPECT_GE(sums[p] / static_cast<double>(count), 55.0) << who << " plane " << p;
  return overlap;
}

class CorpusDecode : public ::testing::TestWithParam<CorpusStream> {};

TEST_P(CorpusDecode, MatchesFfmpegAndLibmpeg2) {
  if (!ffmpegAvailable()) GTEST_SKIP() << "ffmpeg is not installed";
  const CorpusStream& s = GetParam();
  DecodedStream stream(s.path());
  const bool tolerate = s.lastFrameMayFail();
  const std::vector<YuvFrame> ours = stream.decodeAll(tool::DecodeScale::Full, tolerate);
  std::vector<bool> comparable = comparableFrames(stream);
  // A file cut short may end inside a picture: that one frame fails.
  int failures = 0;
  for (const RecordingDecoder::Call& call : stream.decoder().calls) {
    if (call.result == 0) continue;
    ASSERT_TRUE(tolerate && call.result == -3 && ++failures == 1) << "frame " << call.frame << " result " << call.result;
    comparable[static_cast<size_t>(call.frame)] = false;
  }
  const int w = static_cast<int>(stream.geometry().width), h = static_cast<int>(stream.geometry().height);

  const std::vector<YuvFrame> ffmpeg = ffmpegFrames(s.path(), s.pid(), w, h);
  const int64_t offset = alignment(stream, ours, ffmpeg);
  // FFmpeg shows every frame from the first I-frame on.
  EXPECT_GE(expectMatches(ours, ffmpeg, offset, comparable, "ffmpeg"), ours.size() - std::min<size_t>(ours.size(), -std::min<int64_t>(offset, 0)));

  if (!s.mpeg2dec) return;
  if (!mpeg2decAvailable()) GTEST_SKIP() << "mpeg2dec is not installed (the FFmpeg comparison passed)";
  // mpeg2dec leaves out the last pictures of a stream without a
  // sequence_end_code: the frames it has are compared.
  const std::vector<YuvFrame> libmpeg2 = mpeg2decFrames(s.path(), s.container, s.pid(), w, h);
  ASSERT_FALSE(libmpeg2.empty());
  expectMatches(ours, libmpeg2, alignment(stream, ours, libmpeg2), comparable, "libmpeg2");
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusDecode, ::testing::ValuesIn(test::decodableStreams()),
                         test::CorpusTestName());

}  // namespace
}  // namespace quarlin::decodetest
