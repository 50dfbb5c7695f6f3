// Choosing frames for a contact sheet and laying the sheet out.
#include "tools/images/contact_sheet.h"

#include <gtest/gtest.h>

#include "tools/images/bitmap_font.h"

namespace quarlin::tool {
namespace {

TEST(ContactSheet, SpreadsFramesEvenlyInsideTheRange) {
  EXPECT_EQ(spreadFrames(0, 100, 4), (std::vector<int32_t>{12, 37, 62, 87}));
  EXPECT_EQ(spreadFrames(10, 3, 24), (std::vector<int32_t>{10, 11, 12}));  // fewer frames than asked
  EXPECT_EQ(spreadFrames(0, 1, 1), (std::vector<int32_t>{0}));
  EXPECT_TRUE(spreadFrames(0, 0, 5).empty());
  const std::vector<int32_t> many = spreadFrames(5, 1000003, 24);
  ASSERT_EQ(many.size(), 24u);
  for (std::size_t i = 1; i < many.size(); ++i) EXPECT_GT(many[i], many[i - 1]);
  EXPECT_GE(many.front(), 5);
  EXPECT_LT(many.back(), 5 + 1000003);
}

TEST(ContactSheet, GridOfCellsWithLabels) {
  std::vector<Thumbnail> thumbnails;
  for (int i = 0; i < 5; ++i) thumbnails.push_back(Thumbnail{RgbImage(40, 30, 200), std::to_string(i) + " I"});
  const RgbImage sheet = composeContactSheet(thumbnails, 3);
  // 3 columns and 2 rows of 40x30 cells with 4-pixel gaps around them.
  EXPECT_EQ(sheet.width, 3u * 44 + 4);
  EXPECT_EQ(sheet.height, 2u * 34 + 4);
  EXPECT_EQ(sheet.at(4 + 44 + 39, 4 + 29)[0], 200);   // bottom-right pixel of cell 1
  EXPECT_EQ(sheet.at(4 + 2 * 44 + 20, 4 + 34 + 15)[0], 32);  // the empty sixth cell
  // The label's text: the top row of '0' is 0x0E, so its column 1 is lit.
  EXPECT_EQ(sheet.at(4 + 1 + 1, 4 + 1)[0], 255);
  EXPECT_EQ(sheet.at(4 + 1 + 0, 4 + 1)[0], 0);  // on the dark label box
}

TEST(BitmapFont, HasEveryCharacterOfALabel) {
  for (char c : std::string("0123456789IPBD? -")) EXPECT_NE(glyphRows(c), nullptr) << c;
  EXPECT_EQ(glyphRows('x'), nullptr);
  EXPECT_EQ(textWidth("12 I", 2), (4u * 6 - 1) * 2);
}

}  // namespace
}  // namespace quarlin::tool
