// The words for a refused file, from the result code and a look at it.
#include "tools/host/failure_diagnosis.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/support/container_builder.h"

namespace quarlin::tool {
namespace {

using test::Bytes;

// A sequence header, a group and an I-picture (without its coding extension
// in MPEG-1).
Bytes videoStart(const test::SequenceParams& sequence) {
  Bytes bytes = test::sequenceHeader(sequence);
  test::append(bytes, test::gopHeader(true));
  test::append(bytes, test::pictureHeader({.codingExtension = sequence.extension}));
  test::append(bytes, test::slice(0, 8));
  return bytes;
}

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

bool says(const std::string& message, const std::string& words) { return message.find(words) != std::string::npos; }

// The refused files of the corpus (MPEG-1 in an elementary and a transport
// stream, 4:2:2, MP4, MOV, ASF, MPEG-4 visual, H.263, empty) are named end to
// end; these are the causes no corpus file shows.
TEST(FailureDiagnosis, NamesTheCause) {
  struct Case {
    Bytes head;
    int32_t result;
    const char* words;
  };
  const Case cases[] = {
      {videoStart({.aspect = 0}), -3, "aspect_ratio_information 0"},
      {bytesOf(std::string("\0\0\0\x20" "ftypisom", 12)), -3, "MP4/QuickTime"},
      {bytesOf(std::string("RIFF\x10\0\0\0" "AVI LIST", 16)), -3, "AVI"},
      {bytesOf(std::string("\x1A\x45\xDF\xA3\x01\x02", 6)), -3, "Matroska"},
      {Bytes(1000, 0x33), -3, "no MPEG-2 video sequence header"},
  };
  for (const Case& c : cases) {
    const std::string message = describeOpenFailure(c.head, c.head.size(), c.result);
    EXPECT_TRUE(says(message, c.words)) << c.words << " / " << message;
  }
}

TEST(FailureDiagnosis, FilesThatCannotBeOpened) {
  EXPECT_TRUE(says(describeOpenFailure("/nonexistent/clip.m2v", -3), "No such file or directory"));
  EXPECT_TRUE(says(describeOpenFailure(std::filesystem::temp_directory_path().string(), -3), "directory"));
}

}  // namespace
}  // namespace quarlin::tool
