// The prediction rules of docs/prediction-rules.md on a stream where each of
// them decides the output: same-parity fields for skipped and pattern-only
// macroblocks of P fields, the second field of a P frame predicting from the
// first, skipped macroblocks of B fields and B frames, dual prime in both
// fields, PMV[1] after field prediction. The library, FFmpeg and libmpeg2
// must agree to within 1 on every sample.
#include <gtest/gtest.h>

#include "reference.h"
#include "tests/support/corpus.h"
#include "tests/support/frame_host.h"
#include "tests/support/stream_writer.h"

namespace quarlin::decodetest {
namespace {

using test::BitWriter;
using namespace test::codes;

// picture_header and picture_coding_extension; f_code 1 for the directions
// the type uses, 15 for the others; field and frame prediction.
test::Bytes picture(int temporalReference, int type, int structure) {
  test::PictureParams p;
  p.temporalReference = temporalReference;
  p.type = type;
  for (int i = 0; i < 4; ++i) p.fCode[i] = (i < 2 ? type >= 2 : type == 3) ? 1 : 15;
  p.structure = structure;
  p.topFieldFirst = structure == 3;
  p.framePredFrameDct = 0;
  return test::pictureHeader(p);
}

// Sample values of the I frame's fields, per macroblock: the two fields
// differ everywhere.
template <int parity>
void intraField(BitWriter& w) {
  for (int row = 0; row < 2; ++row) {
    w.slice(row, 8);
    for (int c = 0; c < 4; ++c) {
      if (parity == 0)
        w.macroblock(1, kIntraI).intraBlocks(40 + 30 * c + 50 * row, 90 + 20 * c, 160 - 15 * c + 20 * row);
      else
        w.macroblock(1, kIntraI).intraBlocks(220 - 25 * c - 60 * row, 170 - 20 * c, 60 + 15 * c + 10 * row);
    }
  }
}

void pTopField(BitWriter& w) {
  w.slice(0, 8);
  w.macroblock(1, kNoMotionCodedP).putCode(kOnlyCr).putCode(kOneCoefficientBlock);  // zero vector, same parity
  // Two skipped: the reference's field of the same parity. Then the bottom field.
  w.macroblock(3, kForwardNotCodedP).putCode(kField).put(1, 1).vector(-2, 0);
  w.slice(1, 8);
  w.macroblock(1, kForwardNotCodedP).putCode(kField).put(0, 1).vector(0, -2);
  w.macroblock(1, kForwardNotCodedP).putCode(kDualPrime).dualPrimeVector(1, 0, 0, 1);  // both reference fields
  w.macroblock(2, kNoMotionCodedP).putCode(kOnlyBlock0).putCode(kOneCoefficientBlock);
}

// The second field: the top field it may select is the one just decoded.
void pBottomField(BitWriter& w) {
  w.slice(0, 8);
  // The other parity from the current frame's top field.
  w.macroblock(1, kForwardNotCodedP).putCode(kDualPrime).dualPrimeVector(0, 0, 0, 0);
  // Two skipped: the reference's bottom field. Then the current frame's top field.
  w.macroblock(3, kForwardNotCodedP).putCode(kField).put(0, 1).vector(-2, 0);
  w.slice(1, 8);
  // The reference's bottom field, not the current top.
  w.macroblock(1, kNoMotionCodedP).putCode(kOnlyCr).putCode(kOneCoefficientBlock);
  w.macroblock(2, kForwardNotCodedP).putCode(kField).put(1, 1).vector(0, -2);
  w.macroblock(1, kNoMotionCodedP).putCode(kOnlyBlock0).putCode(kOneCoefficientBlock);
}

void bTopField(BitWriter& w) {
  w.slice(0, 8);
  w.macroblock(1, kForwardNotCodedB).putCode(kSixteenByEight).put(1, 1).vector(2, 0).put(1, 1).vector(0, 2);
  // One skipped: top field, PMV[0] = (2, 0).
  w.macroblock(2, kInterpolatedNotCodedB).putCode(kField).put(0, 1).vector(0, 0).put(1, 1).vector(1, 1);
  w.macroblock(1, kBackwardNotCodedB).putCode(kField).put(0, 1).vector(-1, 0);
  w.slice(1, 8);
  w.macroblock(1, kBackwardNotCodedB).putCode(kField).put(1, 1).vector(0, -1);
  // Two skipped: backward, top field.
  w.macroblock(3, kInterpolatedNotCodedB).putCode(kField).put(1, 1).vector(0, 0).put(0, 1).vector(0, 0);
}

void bBottomField(BitWriter& w) {
  w.slice(0, 8);
  w.macroblock(1, kInterpolatedNotCodedB).putCode(kField).put(0, 1).vector(2, 0).put(1, 1).vector(0, 0);
  // One skipped: both directions, bottom fields. Then (2, 0) from PMV[0], and
  // (0, 0): PMV[1] took PMV[0] after the field prediction.
  w.macroblock(2, kForwardNotCodedB).putCode(kSixteenByEight).put(0, 1).vector(0, 0).put(1, 1).vector(-2, 0);
  w.macroblock(1, kForwardNotCodedB).putCode(kField).put(1, 1).vector(-2, 0);
  w.slice(1, 8);
  w.macroblock(1, kIntraB).intraBlocks(100, 120, 140);
  w.macroblock(1, kForwardNotCodedB).putCode(kField).put(0, 1).vector(0, 0);
  w.macroblock(2, kBackwardNotCodedB).putCode(kField).put(0, 1).vector(0, -2);  // one skipped: forward, bottom field
}

// Skipped macroblocks after field prediction use frame prediction with
// PMV[0] (frame units).
void bFrame(BitWriter& w) {
  w.slice(0, 8);
  // (2, 1) in field lines; PMV[0][0] = (2, 2).
  w.macroblock(1, kForwardNotCodedB).putCode(kField).put(1, 1).vector(2, 1).put(0, 1).vector(0, 0);
  w.macroblock(2, kForwardNotCodedB).putCode(kFrame).vector(0, 0);  // one skipped
  w.macroblock(1, kBackwardNotCodedB).putCode(kFrame).vector(-2, 0);
  w.slice(1, 8);
  w.macroblock(1, kInterpolatedNotCodedB).putCode(kField).put(0, 1).vector(0, 0).put(1, 1).vector(0, 1);
  w.put(1, 1).vector(2, 0).put(0, 1).vector(0, 0);
  w.macroblock(3, kInterpolatedNotCodedB).putCode(kFrame).vector(0, 0).vector(-2, 0);  // two skipped, both directions
  w.slice(2, 8);
  w.macroblock(1, kForwardNotCodedB).putCode(kFrame).vector(0, -2);
  w.macroblock(3, kForwardNotCodedB).putCode(kFrame).vector(0, 2);
  w.slice(3, 8);
  // PMV[0][1] = (0, -2).
  w.macroblock(1, kBackwardNotCodedB).putCode(kField).put(0, 1).vector(0, -1).put(1, 1).vector(0, 0);
  w.macroblock(3, kBackwardNotCodedB).putCode(kFrame).vector(0, 2);  // two skipped: frame prediction (0, -2)
}

// The stream, written bit by bit: every reference field holds different
// samples, so a prediction from the wrong field, with the wrong vector or of
// the wrong kind shows at once. 64 x 64, progressive_sequence 0, one closed
// group, coded order:
//   A  I frame as two I field pictures (top, bottom)     display 0
//   B  P frame as two P field pictures (top, bottom)     display 3
//   C  B frame as two B field pictures (top, bottom)     display 1
//   D  B frame picture with field and frame prediction   display 2
// and a sequence_end_code. All blocks are DC-only, so every decoder
// reconstructs the same samples.
std::vector<uint8_t> predictionRulesStream() {
  BitWriter w;
  test::SequenceParams sequence;
  sequence.width = sequence.height = 64;
  sequence.aspect = 1;  // square samples
  w.append(test::sequenceHeader(sequence)).append(test::gopHeader(/*closed=*/true));
  const struct {
    int temporalReference, type, structure;
    void (*write)(BitWriter&);
  } pictures[] = {{0, 1, 1, intraField<0>}, {0, 1, 2, intraField<1>}, {3, 2, 1, pTopField}, {3, 2, 2, pBottomField},
                  {1, 3, 1, bTopField},     {1, 3, 2, bBottomField},  {2, 3, 3, bFrame}};
  for (const auto& p : pictures) p.write(w.append(picture(p.temporalReference, p.type, p.structure)));
  return w.append(test::startCode(0xB7)).done();  // sequence_end_code
}

TEST(PredictionRules, EveryDecoderAgreesOnTheRuleStream) {
  if (!test::onPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  const test::TempFile file(::testing::TempDir(), predictionRulesStream());
  const test::ExportedSession session(file.path());
  test::HostDecoder decoder(session);
  std::vector<YuvFrame> ours;
  for (const auto& picture : test::decodeAll(decoder, test::DecodeScale::Full)) ours.push_back(fromPicture(*picture));
  const std::vector<YuvFrame> ffmpeg = ffmpegFrames(file.path(), -1, 64, 64);
  ASSERT_EQ(ours.size(), 4u);
  ASSERT_EQ(ffmpeg.size(), 4u);
  for (size_t n = 0; n < 4; ++n) EXPECT_LE(maxDifference(ours[n], ffmpeg[n]), 1) << "ffmpeg, frame " << n;
  if (!test::onPath("mpeg2dec")) return;
  const std::vector<YuvFrame> libmpeg2 = mpeg2decFrames(file.path(), "es", -1, 64, 64);
  ASSERT_EQ(libmpeg2.size(), 4u);
  for (size_t n = 0; n < 4; ++n) {
    EXPECT_LE(maxDifference(ours[n], libmpeg2[n]), 1) << "libmpeg2, frame " << n;
    EXPECT_LE(maxDifference(ffmpeg[n], libmpeg2[n]), 1) << "FFmpeg against libmpeg2, frame " << n;
  }
}

}  // namespace
}  // namespace quarlin::decodetest
