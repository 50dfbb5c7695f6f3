// Sequence header and extensions, picture coding extension and the
// completion of the picture header (ISO/IEC 13818-2 6.2.2, 6.2.3).
#include <gtest/gtest.h>

#include "parse/header_parser.h"
#include "parse/picture_header.h"
#include "primitives/mpeg2_tables.h"
#include "tests/parse/unit_fixture.h"

namespace quarlin::test {
namespace {

// ISO/IEC 13818-2 Figure 7-2, written out independently of the decoder's table.
constexpr int kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                             12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                             35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                             58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Stream bytes of a matrix: 8, 17, then values that differ per position.
std::vector<uint8_t> matrixBytes(int salt) {
  std::vector<uint8_t> m(64);
  for (int i = 0; i < 64; ++i) m[static_cast<size_t>(i)] = static_cast<uint8_t>(i == 0 ? 8 : i == 1 ? 17 : 20 + i + salt);
  return m;
}

void expectRaster(const int16_t* matrix, const std::vector<uint8_t>& stream) {
  ASSERT_NE(matrix, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(matrix[kZigzag[i]], stream[static_cast<size_t>(i)]) << "zigzag " << i;
}

class HeaderTest : public UnitFixture {
 protected:
  // Parses `sequence` bytes followed by a GOP header and a picture start
  // code; `after` receives the code the next nextStartCode gives.
  int32_t parseSequence(const Bytes& headers, int32_t* after = nullptr) {
    Bytes bytes = headers;
    append(bytes, gopHeader(true));
    append(bytes, startCode(0));
    EXPECT_EQ(load(bytes), 0);
    EXPECT_EQ(unit->nextStartCode(), 0x1B3);
    const int32_t result = parseSequenceHeader(*unit, sequence);
    if (after) *after = unit->nextStartCode();
    return result;
  }
  // Completes the header of a unit made of `picture` (from its start code
  // on, which the unit does not hold), the bytes after it, and a slice.
  int32_t completePicture(const Bytes& picture, const Bytes& after = {}) {
    Bytes bytes(picture.begin() + 4, picture.end());
    append(bytes, after);
    append(bytes, slice(0, 4));
    append(bytes, startCode(0));
    EXPECT_EQ(load(bytes), 0);
    parsePictureHeader(*unit, this->picture);
    return completePictureHeader(*unit, sequence, this->picture, values);
  }

  SequenceInfo sequence;
  PictureInfo picture;
  PictureDecodeValues values;
};

TEST_F(HeaderTest, SizesGiveStrideAndMacroblockCounts) {
  const struct {
    int width, height, stride, mbWidth, mbHeight;
  } cases[] = {{720, 576, 768, 45, 36}, {1920, 1080, 1920, 120, 68}, {178, 146, 256, 12, 10}, {4095, 16, 4096, 256, 1}};
  for (const auto& c : cases) {
    SequenceParams p;
    p.width = c.width, p.height = c.height;
    int32_t after = 0;
    ASSERT_EQ(parseSequence(sequenceHeader(p), &after), 0);
    EXPECT_EQ(after, 0x1B8);
    EXPECT_EQ(sequence.width, c.width);
    EXPECT_EQ(sequence.height, c.height);
    EXPECT_EQ(sequence.stride, c.stride);
    EXPECT_EQ(sequence.mbWidth, c.mbWidth);
    EXPECT_EQ(sequence.mbHeight, c.mbHeight);
    EXPECT_EQ(sequence.displayWidth, c.width);
    EXPECT_EQ(sequence.displayHeight, c.height);
    EXPECT_EQ(sequence.chromaFactor, 2);
  }
}

TEST_F(HeaderTest, RejectsWhatMpeg2VideoForbids) {
  auto with = [](auto change) {
    SequenceParams p;
    change(p);
    return sequenceHeader(p);
  };
  for (int aspect = 0; aspect < 16; ++aspect)
    EXPECT_EQ(parseSequence(with([&](SequenceParams& p) { p.aspect = aspect; })),
              aspect == 0 || aspect == 15 ? -2 : 0)
        << "aspect " << aspect;
  EXPECT_EQ(parseSequence(with([](SequenceParams& p) { p.marker = false; })), -2);
  EXPECT_EQ(parseSequence(with([](SequenceParams& p) { p.extensionMarker = false; })), -2);
  // MPEG-1: the GOP header follows the sequence header directly.
  EXPECT_EQ(parseSequence(with([](SequenceParams& p) { p.extension = false; })), -2);
  // An extension, but not a sequence extension.
  Bytes display = with([](SequenceParams& p) { p.extension = false; });
  append(display, sequenceDisplayExtension(640, 480, false));
  EXPECT_EQ(parseSequence(display), -2);
}

TEST_F(HeaderTest, SequenceDisplayExtensionAndUserDataArePassed) {
  for (bool colour : {false, true}) {
    Bytes headers = sequenceHeader(SequenceParams{});
    append(headers, userData(5));
    append(headers, sequenceDisplayExtension(640, 480, colour));
    append(headers, BitWriter(0xB5).put(5, 4).put(0xABCDE, 20).done());  // scalable: passed over
    int32_t after = 0;
    ASSERT_EQ(parseSequence(headers, &after), 0);
    EXPECT_EQ(after, 0x1B8);
    EXPECT_EQ(sequence.displayWidth, 640);
    EXPECT_EQ(sequence.displayHeight, 480);
    EXPECT_EQ(sequence.width, 720);
  }
  // A sequence end code stops the parse and is returned next.
  Bytes ended = sequenceHeader(SequenceParams{});
  append(ended, startCode(0xB7));
  int32_t after = 0;
  ASSERT_EQ(parseSequence(ended, &after), 0);
  EXPECT_EQ(after, 0x1B7);
}

class PictureHeaderTest : public HeaderTest {
 protected:
  void SetUp() override { ASSERT_EQ(parseSequence(sequenceHeader(SequenceParams{})), 0); }
};

TEST_F(PictureHeaderTest, CodingExtensionFCodesMustBeOneToNineOrFifteen) {
  for (int position = 0; position < 4; ++position) {
    for (int f : {0, 1, 9, 10, 14, 15}) {
      PictureParams p;
      p.type = 3, p.headerFCode = 1;
      for (int& v : p.fCode) v = 2;
      p.fCode[position] = f;
      const bool valid = (f >= 1 && f <= 9) || f == 15;
      EXPECT_EQ(completePicture(pictureHeader(p)), valid ? 0 : -2) << "position " << position << " f " << f;
      if (valid) {
        EXPECT_EQ(picture.fCode[position], f);
      }
    }
  }
}

TEST_F(PictureHeaderTest, ExtensionRulesOnStructureAndFields) {
  const struct {
    int structure, framePredFrameDct, repeatFirstField;
    bool flipChroma420;
    int32_t result;
  } cases[] = {{3, 1, 1, false, 0},  {3, 0, 0, false, 0},  {1, 0, 0, false, 0}, {2, 0, 0, false, 0},
               {1, 1, 0, false, -2}, {2, 1, 0, false, -2}, {1, 0, 1, false, -2}, {0, 1, 0, false, -2},
               {3, 1, 0, true, -2}};
  for (const auto& c : cases) {
    PictureParams p;
    p.structure = c.structure, p.framePredFrameDct = c.framePredFrameDct;
    p.repeatFirstField = c.repeatFirstField;
    Bytes bytes = pictureHeader(p);
    if (c.flipChroma420) bytes[bytes.size() - 2] ^= 1;  // chroma_420_type != progressive_frame
    EXPECT_EQ(completePicture(bytes), c.result) << "structure " << c.structure;
    if (c.result == 0) {
      EXPECT_EQ(picture.pictureStructure, c.structure);
    }
  }
}

TEST_F(PictureHeaderTest, HeaderTypeAndFCodesAreChecked) {
  const struct {
    int type, fCode;
    int32_t result;
  } cases[] = {{0, 1, -2}, {5, 1, -2}, {7, 1, -2}, {2, 0, -2}, {3, 0, -2}, {1, 0, 0}, {4, 0, 0}, {2, 3, 0}, {3, 6, 0}};
  for (const auto& c : cases) {
    PictureParams p;
    p.type = c.type, p.headerFCode = c.fCode, p.codingExtension = false;
    EXPECT_EQ(completePicture(pictureHeader(p)), c.result) << "type " << c.type;
    if (c.result == 0 && c.type >= 2) {
      EXPECT_EQ(picture.fCode[0], c.fCode);
      EXPECT_EQ(picture.fCode[1], c.fCode);
    }
    if (c.result == 0 && c.type == 3) {
      EXPECT_EQ(picture.fCode[3], c.fCode);
    }
  }
}

TEST_F(PictureHeaderTest, ExtraInformationBytesArePassedOver) {
  BitWriter w(0x00);
  w.put(9, 10).put(2, 3).put(0xFFFF, 16).put(0, 1).put(5, 3);
  for (uint32_t extra : {0x00u, 0xFFu, 0x01u}) w.put(1, 1).put(extra, 8);
  w.put(0, 1);
  Bytes bytes = w.done();
  PictureParams p;
  p.type = 2, p.structure = 2, p.framePredFrameDct = 0, p.fCode[0] = 4;
  const Bytes extension = pictureHeader(p);
  bytes.insert(bytes.end(), extension.end() - 9, extension.end());  // its coding extension only
  ASSERT_EQ(completePicture(bytes), 0);
  EXPECT_EQ(picture.temporalReference, 9);
  EXPECT_EQ(picture.pictureStructure, 2);
  EXPECT_EQ(picture.fCode[0], 4);
  EXPECT_EQ(picture.fCode[2], 15);
}

TEST_F(PictureHeaderTest, CompletionReadsExtensionsAndStopsAtTheFirstSlice) {
  PictureParams p;
  p.temporalReference = 517, p.type = 1, p.intraDcPrecision = 2, p.topFieldFirst = 1;
  p.intraVlcFormat = 1, p.alternateScan = 1, p.progressiveFrame = 1;
  const std::vector<uint8_t> intra = matrixBytes(3), nonIntra = matrixBytes(90);
  BitWriter quant(0xB5);
  quant.put(3, 4).put(1, 1);
  for (uint8_t b : intra) quant.put(b, 8);
  quant.put(1, 1);
  for (uint8_t b : nonIntra) quant.put(b, 8);
  quant.put(0, 1).put(0, 1);
  Bytes after = userData(3);
  append(after, quant.done());
  append(after, BitWriter(0xB5).put(7, 4).put(0x12345, 20).done());  // picture display: passed over
  append(after, userData(2));
  append(after, BitWriter(0xB5).put(4, 4).put(0x3, 12).done());  // copyright: passed over

  ASSERT_EQ(completePicture(pictureHeader(p), after), 0);
  EXPECT_EQ(picture.temporalReference, 517);
  EXPECT_EQ(picture.pictureCodingType, 1);
  EXPECT_EQ(picture.intraDcPrecision, 2);
  EXPECT_EQ(picture.pictureStructure, 3);
  EXPECT_EQ(picture.topFieldFirst, 1);
  EXPECT_EQ(picture.intraVlcFormat, 1);
  EXPECT_EQ(picture.alternateScan, 1);
  EXPECT_EQ(values.intraDcShift, 1);
  EXPECT_EQ(values.dcPredictorReset, 512);
  EXPECT_EQ(values.mbRow, 0);
  EXPECT_EQ(values.mbColumn, -1);
  // The reader stands, unconsumed, on the slice.
  EXPECT_EQ(unit->rewindToCurrent(), 0x101);
  EXPECT_EQ(unit->nextStartCode(), 0x101);
  // A luma matrix of the extension serves chroma as well.
  expectRaster(sequence.intraMatrixLuma, intra);
  expectRaster(sequence.nonIntraMatrixLuma, nonIntra);
  EXPECT_EQ(sequence.intraMatrixChroma, sequence.loadedIntra);
  EXPECT_EQ(sequence.nonIntraMatrixChroma, sequence.loadedNonIntra);

  // The next picture without extensions gets the defaults back.
  PictureParams plain;
  plain.codingExtension = false;
  ASSERT_EQ(completePicture(pictureHeader(plain)), 0);
  EXPECT_EQ(picture.pictureStructure, 3);
  EXPECT_EQ(picture.framePredFrameDct, 1);
  EXPECT_EQ(picture.intraVlcFormat, 0);
}

}  // namespace
}  // namespace quarlin::test
