// The words for a refused file, from the result code and a look at it.
#include "tools/failure_diagnosis.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "stream_bytes.h"

namespace quarlin::tool {
namespace {

using testing::Bytes;

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

bool says(const std::string& message, const std::string& words) { return message.find(words) != std::string::npos; }

TEST(FailureDiagnosis, NamesTheCause) {
  testing::SequenceFields mpeg1;
  mpeg1.extension = false;
  testing::SequenceFields chroma422;
  chroma422.chromaFormat = 2;
  testing::SequenceFields badAspect;
  badAspect.aspectCode = 0;
  const Bytes asf = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0, 0xAA};
  struct Case {
    Bytes head;
    int32_t result;
    const char* words;
  };
  const Case cases[] = {
      {testing::elementaryStart(mpeg1, {}), -3, "MPEG-1 video is not supported"},
      {testing::transportStream(testing::elementaryStart(mpeg1, {})), -3, "MPEG-1 video is not supported"},
      {testing::elementaryStart(chroma422, {}), -2, "4:2:2 video is not supported"},
      {testing::elementaryStart(badAspect, {}), -3, "aspect_ratio_information 0"},
      {bytesOf(std::string("\0\0\0\x20" "ftypisom", 12)), -3, "MP4/QuickTime"},
      {bytesOf(std::string("\0\0\x10\0" "moov", 8)), -3, "MP4/QuickTime"},
      {bytesOf(std::string("\0\0\x10\0" "mdat", 8)), -3, "MP4/QuickTime"},
      {asf, -3, "ASF/WMV"},
      {bytesOf(std::string("RIFF\x10\0\0\0" "AVI LIST", 16)), -3, "AVI"},
      {bytesOf(std::string("\x1A\x45\xDF\xA3\x01\x02", 6)), -3, "Matroska"},
      {bytesOf(std::string("\0\0\x01\xB0\x01\x02\x03\x04", 8)), -3, "MPEG-4 visual"},
      {bytesOf(std::string("\0\0\x80\x02\x10\x20\x30\x40", 8)), -3, "H.263"},
      {Bytes(1000, 0x33), -3, "no MPEG-2 video sequence header"},
  };
  for (const Case& c : cases) {
    const std::string message = describeOpenFailure(c.head, c.head.size(), c.result);
    EXPECT_TRUE(says(message, c.words)) << c.words << " / " << message;
  }
  EXPECT_TRUE(says(describeOpenFailure(Bytes{}, 0, -3), "the file is empty"));
}

TEST(FailureDiagnosis, FilesThatCannotBeOpened) {
  EXPECT_TRUE(says(describeOpenFailure("/nonexistent/clip.m2v", -3), "No such file or directory"));
  EXPECT_TRUE(says(describeOpenFailure(std::filesystem::temp_directory_path().string(), -3), "directory"));
}

}  // namespace
}  // namespace quarlin::tool
