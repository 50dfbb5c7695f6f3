// The tool's own look at a stream's first headers.
#include "tools/stream_look.h"

#include <gtest/gtest.h>

#include "stream_bytes.h"
#include "tools/rational.h"

namespace quarlin::tool {
namespace {

using testing::Bytes;
using testing::PictureFields;
using testing::SequenceFields;

constexpr std::size_t kSequenceHeaderBytes = 12;  // without matrices

TEST(StreamLook, ReadsSequenceAndFirstPicture) {
  SequenceFields sequence;
  sequence.frameRateCode = 4;
  sequence.frameRateExtN = 1;
  sequence.frameRateExtD = 0;
  PictureFields picture;
  picture.topFieldFirst = false;
  const StreamLook look = lookAtStream(testing::elementaryStart(sequence, picture));
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
}

TEST(StreamLook, SequenceHeaderWithoutExtensionIsMpeg1) {
  SequenceFields sequence;
  sequence.extension = false;
  const StreamLook look = lookAtStream(testing::elementaryStart(sequence, {}));
  EXPECT_TRUE(look.sequenceHeader);
  EXPECT_FALSE(look.sequenceExtension);
  EXPECT_TRUE(look.mpeg1Sequence);
  EXPECT_FALSE(look.pictureCodingExtension);
}

TEST(StreamLook, ReadsChromaFormat) {
  SequenceFields sequence;
  sequence.chromaFormat = 2;
  EXPECT_EQ(lookAtStream(testing::elementaryStart(sequence, {})).chromaFormat, 2);
}

// Matrix values of 0 (invalid, but possible in a damaged stream) can shift
// into the bytes 00 00 01 B5 1x: a fake sequence extension inside the
// matrix. The look must step over the matrices by their length.
TEST(StreamLook, StepsOverQuantiserMatrices) {
  SequenceFields sequence;
  sequence.intraMatrix.assign(64, 16);
  // The matrix starts on the last bit of a byte: these values come out as
  // the bytes 00 00 01 B5 18.
  const uint8_t bait[] = {0x80, 0x00, 0x00, 0xDA, 0x8C};
  std::copy(std::begin(bait), std::end(bait), sequence.intraMatrix.begin() + 10);
  sequence.nonIntraMatrix.assign(64, 17);
  sequence.chromaFormat = 1;
  sequence.frameRateCode = 3;
  sequence.frameRateExtD = 1;
  const Bytes bytes = testing::elementaryStart(sequence, {});
  const StreamLook look = lookAtStream(bytes);
  ASSERT_TRUE(look.sequenceExtension);
  EXPECT_EQ(look.chromaFormat, 1);
  EXPECT_EQ(frameRate(look), (Rational{25, 2}));
}

TEST(StreamLook, FieldPictureStructureAndOrder) {
  struct Case {
    uint8_t structure;
    bool progressiveSequence;
    char letter;
    bool fieldCoded;
  };
  const Case cases[] = {{1, false, 't', true}, {2, false, 'b', true}, {3, true, 'p', false}};
  for (const Case& c : cases) {
    SequenceFields sequence;
    sequence.progressive = c.progressiveSequence;
    PictureFields picture;
    picture.structure = c.structure;
    picture.topFieldFirst = false;  // always 0 in field pictures
    const StreamLook look = lookAtStream(testing::elementaryStart(sequence, picture));
    EXPECT_EQ(interlacingLetter(look), c.letter) << int(c.structure);
    EXPECT_EQ(isFieldCoded(look), c.fieldCoded) << int(c.structure);
  }
}

TEST(StreamLook, FindsHeadersAcrossProgramStreamPacketBoundary) {
  const Bytes video = testing::elementaryStart(SequenceFields{}, PictureFields{});
  // Each PES packet ends where a header does: the sequence extension, and
  // later the picture coding extension, follow a pack and a PES header.
  const StreamLook look = lookAtStream(testing::programStream(video, kSequenceHeaderBytes));
  EXPECT_TRUE(look.sequenceExtension);
  EXPECT_EQ(look.width, 720u);
}

TEST(StreamLook, JoinsTransportPayloadsOfTheVideoPid) {
  SequenceFields sequence;
  sequence.intraMatrix.assign(64, 20);
  sequence.nonIntraMatrix.assign(64, 21);
  sequence.nonIntraMatrix[5] = 0;  // nothing special: just not constant
  PictureFields picture;
  picture.structure = 2;
  picture.topFieldFirst = false;
  Bytes video(150, 0xFF);  // the sequence header then straddles two video packets
  const Bytes start = testing::elementaryStart(sequence, picture);
  video.insert(video.end(), start.begin(), start.end());
  const StreamLook look = lookAtStream(testing::transportStream(video));
  ASSERT_TRUE(look.sequenceHeader);
  EXPECT_EQ(look.width, 720u);
  EXPECT_TRUE(look.sequenceExtension);
  EXPECT_TRUE(isFieldCoded(look));
}

TEST(StreamLook, TruncatedHeadersAreNotTakenForValues) {
  const Bytes full = testing::elementaryStart(SequenceFields{}, PictureFields{});
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

TEST(StreamLook, NothingInNoise) {
  Bytes noise(4096);
  uint32_t state = 12345;
  for (uint8_t& byte : noise) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<uint8_t>((state >> 16) | 1);  // never zero: no start codes
  }
  const StreamLook look = lookAtStream(noise);
  EXPECT_FALSE(look.sequenceHeader);
  EXPECT_FALSE(frameRate(look).has_value());
}

}  // namespace
}  // namespace quarlin::tool
