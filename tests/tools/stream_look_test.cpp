// The tool's own look at a stream's first headers.
#include "tools/host/stream_look.h"

#include <gtest/gtest.h>

#include "tests/support/container_builder.h"
#include "tools/images/rational.h"

namespace quarlin::tool {
namespace {

using test::Bytes;
using test::PictureParams;
using test::SequenceParams;

constexpr std::size_t kSequenceHeaderBytes = 12;  // without matrices

// A sequence header (with its extension unless MPEG-1), a group, a picture
// header with its coding extension, and a slice.
Bytes elementaryStart(const SequenceParams& sequence, PictureParams picture = {}) {
  picture.codingExtension = sequence.extension;
  Bytes bytes = test::sequenceHeader(sequence);
  test::append(bytes, test::gopHeader(true));
  test::append(bytes, test::pictureHeader(picture));
  test::append(bytes, test::slice(0, 8));
  return bytes;
}

TEST(StreamLook, ReadsSequenceAndFirstPicture) {
  SequenceParams sequence;
  sequence.frameRateCode = 4, sequence.extN = 1;
  PictureParams picture;
  picture.topFieldFirst = 0;
  const StreamLook look = lookAtStream(elementaryStart(sequence, picture));
  ASSERT_TRUE(look.sequenceHeader);
  EXPECT_TRUE(look.sequenceExtension);
  EXPECT_FALSE(look.mpeg1Sequence);
  EXPECT_EQ(look.width, 720u);
  EXPECT_EQ(look.height, 576u);
  EXPECT_EQ(look.aspectCode, 2);
  EXPECT_EQ(look.chromaFormat, 1);
  EXPECT_EQ(frameRate(look), (Rational{60000, 1001}));
  ASSERT_TRUE(look.pictureCodingExtension);
  EXPECT_EQ(look.pictureStructure, 3);
  EXPECT_EQ(interlacingLetter(look), 'b');
  EXPECT_FALSE(isFieldCoded(look));

  sequence.chromaFormat = 2;
  EXPECT_EQ(lookAtStream(elementaryStart(sequence)).chromaFormat, 2);
  sequence.extension = false;
  const StreamLook mpeg1 = lookAtStream(elementaryStart(sequence));
  EXPECT_TRUE(mpeg1.sequenceHeader);
  EXPECT_FALSE(mpeg1.sequenceExtension);
  EXPECT_TRUE(mpeg1.mpeg1Sequence);
  EXPECT_FALSE(mpeg1.pictureCodingExtension);
}

// Matrix values of 0 (invalid, but possible in a damaged stream) can shift
// into the bytes 00 00 01 B5 1x: a fake sequence extension inside the
// matrix. The look must step over the matrices by their length.
TEST(StreamLook, StepsOverQuantiserMatrices) {
  std::vector<uint8_t> intra(64, 16), nonIntra(64, 17);
  // The matrix starts on the last bit of a byte: these values come out as
  // the bytes 00 00 01 B5 18.
  const uint8_t bait[] = {0x80, 0x00, 0x00, 0xDA, 0x8C};
  std::copy(std::begin(bait), std::end(bait), intra.begin() + 10);
  SequenceParams sequence;
  sequence.intraMatrix = intra.data(), sequence.nonIntraMatrix = nonIntra.data();
  sequence.extD = 1;
  const StreamLook look = lookAtStream(elementaryStart(sequence));
  ASSERT_TRUE(look.sequenceExtension);
  EXPECT_EQ(look.chromaFormat, 1);
  EXPECT_EQ(frameRate(look), (Rational{25, 2}));
}

TEST(StreamLook, FieldPictureStructureAndOrder) {
  struct Case {
    int structure;
    int progressiveSequence;
    char letter;
    bool fieldCoded;
  };
  const Case cases[] = {{1, 0, 't', true}, {2, 0, 'b', true}, {3, 1, 'p', false}};
  for (const Case& c : cases) {
    SequenceParams sequence;
    sequence.progressive = c.progressiveSequence;
    PictureParams picture;
    picture.structure = c.structure;
    picture.framePredFrameDct = c.structure == 3;
    const StreamLook look = lookAtStream(elementaryStart(sequence, picture));
    EXPECT_EQ(interlacingLetter(look), c.letter) << c.structure;
    EXPECT_EQ(isFieldCoded(look), c.fieldCoded) << c.structure;
  }
}

// Each PES packet ends where a header does: the sequence extension, and
// later the picture coding extension, follow pack and packet headers.
TEST(StreamLook, FindsHeadersAcrossProgramStreamPackets) {
  const StreamLook look = lookAtStream(test::inProgramStream(elementaryStart({}), kSequenceHeaderBytes));
  EXPECT_TRUE(look.sequenceExtension);
  EXPECT_EQ(look.width, 720u);
}

// The sequence header (with matrices) straddles two video packets, and
// audio packets in between hold a sequence header code.
TEST(StreamLook, JoinsTransportPayloadsOfTheVideoPid) {
  std::vector<uint8_t> intra(64, 20), nonIntra(64, 21);
  SequenceParams sequence;
  sequence.intraMatrix = intra.data(), sequence.nonIntraMatrix = nonIntra.data();
  PictureParams picture;
  picture.structure = 2, picture.framePredFrameDct = 0;
  Bytes video(150, 0xFF);
  test::append(video, elementaryStart(sequence, picture));
  const StreamLook look = lookAtStream(test::inTransportStream(video));
  ASSERT_TRUE(look.sequenceHeader);
  EXPECT_EQ(look.width, 720u);
  EXPECT_TRUE(look.sequenceExtension);
  EXPECT_TRUE(isFieldCoded(look));
}

TEST(StreamLook, TruncatedHeadersAreNotTakenForValues) {
  const Bytes full = elementaryStart(SequenceParams{});
  for (std::size_t size = 0; size < full.size(); ++size) {
    const StreamLook look = lookAtStream(Bytes(full.begin(), full.begin() + static_cast<long>(size)));
    if (size < kSequenceHeaderBytes) {
      EXPECT_FALSE(look.sequenceHeader) << size;
    }
    if (look.sequenceExtension) {
      EXPECT_EQ(look.chromaFormat, 1) << size;
    }
  }
}

}  // namespace
}  // namespace quarlin::tool
