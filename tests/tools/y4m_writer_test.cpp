// YUV4MPEG2 output: the header fields, and frames that do not fit it. (The
// cropping of strided planes is compared with FFmpeg's output end to end.)
#include "tools/images/y4m_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace quarlin::tool {
namespace {

std::string readAll(std::FILE* file) {
  std::rewind(file);
  std::string text;
  char chunk[4096];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
  return text;
}

TEST(Y4mWriter, HeaderFields) {
  struct Case {
    Y4mHeader header;
    const char* text;
  };
  const Case cases[] = {
      {{720, 576, {25, 1}, 't', {16, 15}}, "YUV4MPEG2 W720 H576 F25:1 It A16:15 C420jpeg\n"},
      {{360, 288, {30000, 1001}, 'p', {0, 0}}, "YUV4MPEG2 W360 H288 F30000:1001 Ip A0:0 C420jpeg\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(formatY4mHeader(c.header), c.text);
}

TEST(Y4mWriter, HeaderAloneForNoFramesAndSizeMismatchRefused) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  Y4mWriter writer(file, Y4mHeader{4, 2, {25, 1}, 'p', {1, 1}});
  ASSERT_TRUE(writer.begin());
  ASSERT_TRUE(writer.begin());
  EXPECT_EQ(readAll(file), "YUV4MPEG2 W4 H2 F25:1 Ip A1:1 C420jpeg\n");
  std::vector<uint8_t> plane(64);
  const ImageView wrong{{plane.data(), 8, 5, 2}, {plane.data(), 8, 3, 1}, {plane.data(), 8, 3, 1}};
  EXPECT_THROW(writer.writeFrame(wrong), std::logic_error);
  std::fclose(file);
}

}  // namespace
}  // namespace quarlin::tool
