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

// macroblock_type (ISO/IEC 13818-2 B.2, B.3, B.4), coded_block_pattern (B.9)
// and motion types.
constexpr const char* kIntraI = "1";
constexpr const char* kForwardNotCodedP = "001";
constexpr const char* kNoMotionCodedP = "01";
constexpr const char* kInterpolatedNotCodedB = "10";
constexpr const char* kBackwardNotCodedB = "010";
constexpr const char* kForwardNotCodedB = "0010";
constexpr const char* kIntraB = "00011";
constexpr const char* kOnlyCr = "01011";
constexpr const char* kOnlyBlock0 = "1010";
constexpr const char* kField = "01";
constexpr const char* kSixteenByEight = "10";
constexpr const char* kFrame = "10";
constexpr const char* kDualPrime = "11";
const char* dmvector(int v) { return v == 0 ? "0" : (v > 0 ? "10" : "11"); }  // B.11

// The stream so far and the slice being written.
class Writer {
 public:
  Writer& code(const char* bits) { return slice_.putCode(bits), *this; }
  Writer& put(uint32_t value, int bits) { return slice_.put(value, bits), *this; }
  void append(const test::Bytes& bytes) {
    test::append(bytes_, slice_.done());
    slice_ = BitWriter();
    test::append(bytes_, bytes);
  }
  // picture_header and picture_coding_extension; f_code 1 for the
  // directions the type uses, 15 for the others; field and frame prediction.
  void picture(int temporalReference, int type, int structure) {
    test::PictureParams p;
    p.temporalReference = temporalReference;
    p.type = type;
    for (int i = 0; i < 4; ++i) p.fCode[i] = (i < 2 ? type >= 2 : type == 3) ? 1 : 15;
    p.structure = structure;
    p.topFieldFirst = structure == 3;
    p.framePredFrameDct = 0;
    append(test::pictureHeader(p));
  }
  void slice(int row) {
    append({});
    slice_ = BitWriter(static_cast<uint8_t>(row + 1));
    slice_.sliceHeader(8);
    dc_[0] = dc_[1] = dc_[2] = 128;
  }
  Writer& macroblock(int increment, const char* type) { return slice_.addressIncrement(increment), code(type); }
  Writer& vector(int x, int y) { return slice_.motionVector(x).motionVector(y), *this; }
  Writer& dualPrimeVector(int x, int dmvX, int y, int dmvY) {
    return slice_.motionVector(x).putCode(dmvector(dmvX)).motionVector(y).putCode(dmvector(dmvY)), *this;
  }
  // Four luma blocks of value y, then Cb and Cr, DC only.
  Writer& intraBlocks(int y, int cb, int cr) {
    const int values[6] = {y, y, y, y, cb, cr};
    for (int k = 0; k < 6; ++k) {
      int& dc = dc_[k < 4 ? 0 : k - 3];
      slice_.intraDcBlock(k < 4, values[k] - dc);
      dc = values[k];
    }
    return *this;
  }
  // A non-intra block holding one coefficient +1 at DC (table B.14).
  Writer& oneCoefficientBlock() { return code("10" "10"); }
  test::Bytes finish() {
    append(test::startCode(0xB7));  // sequence_end_code
    return bytes_;
  }

 private:
  test::Bytes bytes_;
  BitWriter slice_;
  int dc_[3] = {128, 128, 128};
};

// Sample values of the I frame's fields, per macroblock: the two fields
// differ everywhere.
void intraField(Writer& w, int parity) {
  for (int row = 0; row < 2; ++row) {
    w.slice(row);
    for (int c = 0; c < 4; ++c) {
      if (parity == 0)
        w.macroblock(1, kIntraI).intraBlocks(40 + 30 * c + 50 * row, 90 + 20 * c, 160 - 15 * c + 20 * row);
      else
        w.macroblock(1, kIntraI).intraBlocks(220 - 25 * c - 60 * row, 170 - 20 * c, 60 + 15 * c + 10 * row);
    }
  }
}

void pTopField(Writer& w) {
  w.slice(0);
  w.macroblock(1, kNoMotionCodedP).code(kOnlyCr).oneCoefficientBlock();  // zero vector, same parity
  // Two skipped: the reference's field of the same parity. Then the bottom field.
  w.macroblock(3, kForwardNotCodedP).code(kField).put(1, 1).vector(-2, 0);
  w.slice(1);
  w.macroblock(1, kForwardNotCodedP).code(kField).put(0, 1).vector(0, -2);
  w.macroblock(1, kForwardNotCodedP).code(kDualPrime).dualPrimeVector(1, 0, 0, 1);  // both reference fields
  w.macroblock(2, kNoMotionCodedP).code(kOnlyBlock0).oneCoefficientBlock();
}

// The second field: the top field it may select is the one just decoded.
void pBottomField(Writer& w) {
  w.slice(0);
  // The other parity from the current frame's top field.
  w.macroblock(1, kForwardNotCodedP).code(kDualPrime).dualPrimeVector(0, 0, 0, 0);
  // Two skipped: the reference's bottom field. Then the current frame's top field.
  w.macroblock(3, kForwardNotCodedP).code(kField).put(0, 1).vector(-2, 0);
  w.slice(1);
  // The reference's bottom field, not the current top.
  w.macroblock(1, kNoMotionCodedP).code(kOnlyCr).oneCoefficientBlock();
  w.macroblock(2, kForwardNotCodedP).code(kField).put(1, 1).vector(0, -2);
  w.macroblock(1, kNoMotionCodedP).code(kOnlyBlock0).oneCoefficientBlock();
}

void bTopField(Writer& w) {
  w.slice(0);
  w.macroblock(1, kForwardNotCodedB).code(kSixteenByEight).put(1, 1).vector(2, 0).put(1, 1).vector(0, 2);
  // One skipped: top field, PMV[0] = (2, 0).
  w.macroblock(2, kInterpolatedNotCodedB).code(kField).put(0, 1).vector(0, 0).put(1, 1).vector(1, 1);
  w.macroblock(1, kBackwardNotCodedB).code(kField).put(0, 1).vector(-1, 0);
  w.slice(1);
  w.macroblock(1, kBackwardNotCodedB).code(kField).put(1, 1).vector(0, -1);
  // Two skipped: backward, top field.
  w.macroblock(3, kInterpolatedNotCodedB).code(kField).put(1, 1).vector(0, 0).put(0, 1).vector(0, 0);
}

void bBottomField(Writer& w) {
  w.slice(0);
  w.macroblock(1, kInterpolatedNotCodedB).code(kField).put(0, 1).vector(2, 0).put(1, 1).vector(0, 0);
  // One skipped: both directions, bottom fields. Then (2, 0) from PMV[0], and
  // (0, 0): PMV[1] took PMV[0] after the field prediction.
  w.macroblock(2, kForwardNotCodedB).code(kSixteenByEight).put(0, 1).vector(0, 0).put(1, 1).vector(-2, 0);
  w.macroblock(1, kForwardNotCodedB).code(kField).put(1, 1).vector(-2, 0);
  w.slice(1);
  w.macroblock(1, kIntraB).intraBlocks(100, 120, 140);
  w.macroblock(1, kForwardNotCodedB).code(kField).put(0, 1).vector(0, 0);
  w.macroblock(2, kBackwardNotCodedB).code(kField).put(0, 1).vector(0, -2);  // one skipped: forward, bottom field
}

// Skipped macroblocks after field prediction use frame prediction with
// PMV[0] (frame units).
void bFrame(Writer& w) {
  w.slice(0);
  // (2, 1) in field lines; PMV[0][0] = (2, 2).
  w.macroblock(1, kForwardNotCodedB).code(kField).put(1, 1).vector(2, 1).put(0, 1).vector(0, 0);
  w.macroblock(2, kForwardNotCodedB).code(kFrame).vector(0, 0);  // one skipped
  w.macroblock(1, kBackwardNotCodedB).code(kFrame).vector(-2, 0);
  w.slice(1);
  w.macroblock(1, kInterpolatedNotCodedB).code(kField).put(0, 1).vector(0, 0).put(1, 1).vector(0, 1);
  w.put(1, 1).vector(2, 0).put(0, 1).vector(0, 0);
  w.macroblock(3, kInterpolatedNotCodedB).code(kFrame).vector(0, 0).vector(-2, 0);  // two skipped, both directions
  w.slice(2);
  w.macroblock(1, kForwardNotCodedB).code(kFrame).vector(0, -2);
  w.macroblock(3, kForwardNotCodedB).code(kFrame).vector(0, 2);
  w.slice(3);
  // PMV[0][1] = (0, -2).
  w.macroblock(1, kBackwardNotCodedB).code(kField).put(0, 1).vector(0, -1).put(1, 1).vector(0, 0);
  w.macroblock(3, kBackwardNotCodedB).code(kFrame).vector(0, 2);  // two skipped: frame prediction (0, -2)
}

// A small MPEG-2 video elementary stream, written bit by bit, in which the
// prediction rules of docs/prediction-rules.md decide the output: every
// reference field holds different samples, so a prediction from the wrong
// field, with the wrong vector or of the wrong kind shows at once.
//
// 64 x 64, progressive_sequence 0, one closed group, coded order:
//   A  I frame as two I field pictures (top, bottom)     display 0
//   B  P frame as two P field pictures (top, bottom)     display 3
//   C  B frame as two B field pictures (top, bottom)     display 1
//   D  B frame picture with field and frame prediction   display 2
// and a sequence_end_code. All blocks are DC-only, so every decoder
// reconstructs the same samples.
std::vector<uint8_t> predictionRulesStream() {
  Writer w;
  test::SequenceParams sequence;
  sequence.width = sequence.height = 64;
  sequence.aspect = 1;  // square samples
  w.append(test::sequenceHeader(sequence));
  w.append(test::gopHeader(/*closed=*/true));
  const struct {
    int temporalReference, type, structure;
    void (*write)(Writer&);
  } pictures[] = {{0, 1, 1, [](Writer& w) { intraField(w, 0); }}, {0, 1, 2, [](Writer& w) { intraField(w, 1); }},
                  {3, 2, 1, pTopField}, {3, 2, 2, pBottomField}, {1, 3, 1, bTopField}, {1, 3, 2, bBottomField},
                  {2, 3, 3, bFrame}};
  for (const auto& p : pictures) {
    w.picture(p.temporalReference, p.type, p.structure);
    p.write(w);
  }
  return w.finish();
}

TEST(PredictionRules, EveryDecoderAgreesOnTheRuleStream) {
  if (!onPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  const test::TempFile file(::testing::TempDir(), predictionRulesStream());
  const test::ExportedSession session(file.path());
  test::HostDecoder decoder(session);
  std::vector<YuvFrame> ours;
  for (const auto& picture : test::decodeAll(decoder, test::DecodeScale::Full)) ours.push_back(fromPicture(*picture));
  const std::vector<YuvFrame> ffmpeg = ffmpegFrames(file.path(), -1, 64, 64);
  ASSERT_EQ(ours.size(), 4u);
  ASSERT_EQ(ffmpeg.size(), 4u);
  for (size_t n = 0; n < 4; ++n) EXPECT_LE(maxDifference(ours[n], ffmpeg[n]), 1) << "ffmpeg, frame " << n;
  if (!onPath("mpeg2dec")) return;
  const std::vector<YuvFrame> libmpeg2 = mpeg2decFrames(file.path(), "es", -1, 64, 64);
  ASSERT_EQ(libmpeg2.size(), 4u);
  for (size_t n = 0; n < 4; ++n) {
    EXPECT_LE(maxDifference(ours[n], libmpeg2[n]), 1) << "libmpeg2, frame " << n;
    EXPECT_LE(maxDifference(ffmpeg[n], libmpeg2[n]), 1) << "FFmpeg against libmpeg2, frame " << n;
  }
}

}  // namespace
}  // namespace quarlin::decodetest
