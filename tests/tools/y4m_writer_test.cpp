// YUV4MPEG2 output: the header fields and the cropping of strided planes.
#include "tools/y4m_writer.h"

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

// A 5x3 picture inside planes with strides 8 (luma) and 4 (chroma): the
// output holds 15 luma and 2 x (3 x 2) chroma samples per frame.
TEST(Y4mWriter, CropsRowsFromTheirStridesAndRoundsChromaUp) {
  std::vector<uint8_t> y(8 * 3), cb(4 * 2), cr(4 * 2);
  for (std::size_t i = 0; i < y.size(); ++i) y[i] = static_cast<uint8_t>(i);
  for (std::size_t i = 0; i < cb.size(); ++i) cb[i] = static_cast<uint8_t>(100 + i), cr[i] = static_cast<uint8_t>(200 + i);
  const ImageView image{{y.data(), 8, 5, 3}, {cb.data(), 4, 3, 2}, {cr.data(), 4, 3, 2}};
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  Y4mWriter writer(file, Y4mHeader{5, 3, {25, 1}, 'p', {1, 1}});
  ASSERT_TRUE(writer.writeFrame(image));
  ASSERT_TRUE(writer.writeFrame(image));
  const std::string text = readAll(file);
  std::fclose(file);
  const std::string header = "YUV4MPEG2 W5 H3 F25:1 Ip A1:1 C420jpeg\n";
  const std::string frame = "FRAME\n" + std::string{0, 1, 2, 3, 4, 8, 9, 10, 11, 12, 16, 17, 18, 19, 20} +
                            std::string{100, 101, 102, 104, 105, 106} +
                            std::string{char(200), char(201), char(202), char(204), char(205), char(206)};
  EXPECT_EQ(text, header + frame + frame);
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
