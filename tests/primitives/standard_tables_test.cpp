// The code descriptions and constant tables against ISO/IEC 13818-2 as the
// standard prints them: Annex B codes as bit strings ('s' the sign bit of a
// run/level code, E end_of_block, X escape), the scan figures as matrices of
// scan positions, and Table 7-6.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "primitives/mpeg2_tables.h"
#include "primitives/vlc_descriptions.h"
#include "reference_codes.h"

namespace quarlin::test {
namespace {

// Codes as printed in Annex B (underscores separate groups of four bits);
// run/level codes without their sign bit.
constexpr const char* kTable1 =
    "1:1 011:2 010:3 0011:4 0010:5 00011:6 00010:7 0000111:8 0000110:9 0000_1011:10 "
    "0000_1010:11 0000_1001:12 0000_1000:13 0000_0111:14 0000_0110:15 0000_0101_11:16 "
    "0000_0101_10:17 0000_0101_01:18 0000_0101_00:19 0000_0100_11:20 0000_0100_10:21 "
    "0000_0100_011:22 0000_0100_010:23 0000_0100_001:24 0000_0100_000:25 0000_0011_111:26 "
    "0000_0011_110:27 0000_0011_101:28 0000_0011_100:29 0000_0011_011:30 0000_0011_010:31 "
    "0000_0011_001:32 0000_0011_000:33 0000_0001_000:65535 ";

constexpr const char* kTable2 =
    "1:1 01:17 ";

constexpr const char* kTable3 =
    "1:10 01:2 001:8 00011:1 00010:26 00001:18 000001:17 ";

constexpr const char* kTable4 =
    "10:12 11:14 010:4 011:6 0010:8 0011:10 00011:1 00010:30 000011:26 000010:22 000001:17 ";

constexpr const char* kTable9 =
    "111:60 1101:4 1100:8 1011:16 1010:32 10011:12 10010:48 10001:20 10000:40 01111:28 "
    "01110:44 01101:52 01100:56 01011:1 01010:61 01001:2 01000:62 001111:24 001110:36 "
    "001101:3 001100:63 0010111:5 0010110:9 0010101:17 0010100:33 0010011:6 0010010:10 "
    "0010001:18 0010000:34 0001_1111:7 0001_1110:11 0001_1101:19 0001_1100:35 0001_1011:13 "
    "0001_1010:49 0001_1001:21 0001_1000:41 0001_0111:14 0001_0110:50 0001_0101:22 "
    "0001_0100:42 0001_0011:15 0001_0010:51 0001_0001:23 0001_0000:43 0000_1111:25 "
    "0000_1110:37 0000_1101:26 0000_1100:38 0000_1011:29 0000_1010:45 0000_1001:53 "
    "0000_1000:57 0000_0111:30 0000_0110:46 0000_0101:54 0000_0100:58 0000_0011_1:31 "
    "0000_0011_0:47 0000_0010_1:55 0000_0010_0:59 0000_0001_1:27 0000_0001_0:39 "
    "0000_0000_1:0 ";

constexpr const char* kTable10 =
    "0000_0011_001:-16 0000_0011_011:-15 0000_0011_101:-14 0000_0011_111:-13 "
    "0000_0100_001:-12 0000_0100_011:-11 0000_0100_11:-10 0000_0101_01:-9 0000_0101_11:-8 "
    "0000_0111:-7 0000_1001:-6 0000_1011:-5 0000_111:-4 0001_1:-3 0011:-2 011:-1 1:0 010:1 "
    "0010:2 0001_0:3 0000_110:4 0000_1010:5 0000_1000:6 0000_0110:7 0000_0101_10:8 "
    "0000_0101_00:9 0000_0100_10:10 0000_0100_010:11 0000_0100_000:12 0000_0011_110:13 "
    "0000_0011_100:14 0000_0011_010:15 0000_0011_000:16 ";

constexpr const char* kTable12 =
    "100:0 00:1 01:2 101:3 110:4 1110:5 11110:6 111110:7 1111110:8 11111110:9 111111110:10 "
    "111111111:11 ";

constexpr const char* kTable13 =
    "00:0 01:1 10:2 110:3 1110:4 11110:5 111110:6 1111110:7 11111110:8 111111110:9 "
    "1111111110:10 1111111111:11 ";

constexpr const char* kTable14 =
    "10:E 11:0,1 011:1,1 0100:0,2 0101:2,1 0010_1:0,3 0011_1:3,1 0011_0:4,1 0001_10:1,2 "
    "0001_11:5,1 0001_01:6,1 0001_00:7,1 0000_110:0,4 0000_100:2,2 0000_111:8,1 "
    "0000_101:9,1 0000_01:X 0010_0110:0,5 0010_0001:0,6 0010_0101:1,3 0010_0100:3,2 "
    "0010_0111:10,1 0010_0011:11,1 0010_0010:12,1 0010_0000:13,1 0000_0010_10:0,7 "
    "0000_0011_00:1,4 0000_0010_11:2,3 0000_0011_11:4,2 0000_0010_01:5,2 0000_0011_10:14,1 "
    "0000_0011_01:15,1 0000_0010_00:16,1 0000_0001_1101:0,8 0000_0001_1000:0,9 "
    "0000_0001_0011:0,10 0000_0001_0000:0,11 0000_0001_1011:1,5 0000_0001_0100:2,4 "
    "0000_0001_1100:3,3 0000_0001_0010:4,3 0000_0001_1110:6,2 0000_0001_0101:7,2 "
    "0000_0001_0001:8,2 0000_0001_1111:17,1 0000_0001_1010:18,1 0000_0001_1001:19,1 "
    "0000_0001_0111:20,1 0000_0001_0110:21,1 0000_0000_1101_0:0,12 0000_0000_1100_1:0,13 "
    "0000_0000_1100_0:0,14 0000_0000_1011_1:0,15 0000_0000_1011_0:1,6 0000_0000_1010_1:1,7 "
    "0000_0000_1010_0:2,5 0000_0000_1001_1:3,4 0000_0000_1001_0:5,3 0000_0000_1000_1:9,2 "
    "0000_0000_1000_0:10,2 0000_0000_1111_1:22,1 0000_0000_1111_0:23,1 "
    "0000_0000_1110_1:24,1 0000_0000_1110_0:25,1 0000_0000_1101_1:26,1 "
    "0000_0000_0111_11:0,16 0000_0000_0111_10:0,17 0000_0000_0111_01:0,18 "
    "0000_0000_0111_00:0,19 0000_0000_0110_11:0,20 0000_0000_0110_10:0,21 "
    "0000_0000_0110_01:0,22 0000_0000_0110_00:0,23 0000_0000_0101_11:0,24 "
    "0000_0000_0101_10:0,25 0000_0000_0101_01:0,26 0000_0000_0101_00:0,27 "
    "0000_0000_0100_11:0,28 0000_0000_0100_10:0,29 0000_0000_0100_01:0,30 "
    "0000_0000_0100_00:0,31 0000_0000_0011_000:0,32 0000_0000_0010_111:0,33 "
    "0000_0000_0010_110:0,34 0000_0000_0010_101:0,35 0000_0000_0010_100:0,36 "
    "0000_0000_0010_011:0,37 0000_0000_0010_010:0,38 0000_0000_0010_001:0,39 "
    "0000_0000_0010_000:0,40 0000_0000_0011_111:1,8 0000_0000_0011_110:1,9 "
    "0000_0000_0011_101:1,10 0000_0000_0011_100:1,11 0000_0000_0011_011:1,12 "
    "0000_0000_0011_010:1,13 0000_0000_0011_001:1,14 0000_0000_0001_0011:1,15 "
    "0000_0000_0001_0010:1,16 0000_0000_0001_0001:1,17 0000_0000_0001_0000:1,18 "
    "0000_0000_0001_0100:6,3 0000_0000_0001_1010:11,2 0000_0000_0001_1001:12,2 "
    "0000_0000_0001_1000:13,2 0000_0000_0001_0111:14,2 0000_0000_0001_0110:15,2 "
    "0000_0000_0001_0101:16,2 0000_0000_0001_1111:27,1 0000_0000_0001_1110:28,1 "
    "0000_0000_0001_1101:29,1 0000_0000_0001_1100:30,1 0000_0000_0001_1011:31,1 ";

constexpr const char* kTable15 =
    "0110:E 10:0,1 010:1,1 110:0,2 0010_1:2,1 0111:0,3 0011_1:3,1 0001_10:4,1 0011_0:1,2 "
    "0001_11:5,1 0000_110:6,1 0000_100:7,1 1110_0:0,4 0000_111:2,2 0000_101:8,1 "
    "1111_000:9,1 0000_01:X 1110_1:0,5 0001_01:0,6 1111_001:1,3 0010_0110:3,2 "
    "1111_010:10,1 0010_0001:11,1 0010_0101:12,1 0010_0100:13,1 0001_00:0,7 0010_0111:1,4 "
    "1111_1100:2,3 1111_1101:4,2 0000_0010_0:5,2 0000_0010_1:14,1 0000_0011_1:15,1 "
    "0000_0011_01:16,1 1111_011:0,8 1111_100:0,9 0010_0011:0,10 0010_0010:0,11 "
    "0010_0000:1,5 0000_0011_00:2,4 0000_0001_1100:3,3 0000_0001_0010:4,3 "
    "0000_0001_1110:6,2 0000_0001_0101:7,2 0000_0001_0001:8,2 0000_0001_1111:17,1 "
    "0000_0001_1010:18,1 0000_0001_1001:19,1 0000_0001_0111:20,1 0000_0001_0110:21,1 "
    "1111_1010:0,12 1111_1011:0,13 1111_1110:0,14 1111_1111:0,15 0000_0000_1011_0:1,6 "
    "0000_0000_1010_1:1,7 0000_0000_1010_0:2,5 0000_0000_1001_1:3,4 0000_0000_1001_0:5,3 "
    "0000_0000_1000_1:9,2 0000_0000_1000_0:10,2 0000_0000_1111_1:22,1 "
    "0000_0000_1111_0:23,1 0000_0000_1110_1:24,1 0000_0000_1110_0:25,1 "
    "0000_0000_1101_1:26,1 0000_0000_0111_11:0,16 0000_0000_0111_10:0,17 "
    "0000_0000_0111_01:0,18 0000_0000_0111_00:0,19 0000_0000_0110_11:0,20 "
    "0000_0000_0110_10:0,21 0000_0000_0110_01:0,22 0000_0000_0110_00:0,23 "
    "0000_0000_0101_11:0,24 0000_0000_0101_10:0,25 0000_0000_0101_01:0,26 "
    "0000_0000_0101_00:0,27 0000_0000_0100_11:0,28 0000_0000_0100_10:0,29 "
    "0000_0000_0100_01:0,30 0000_0000_0100_00:0,31 0000_0000_0011_000:0,32 "
    "0000_0000_0010_111:0,33 0000_0000_0010_110:0,34 0000_0000_0010_101:0,35 "
    "0000_0000_0010_100:0,36 0000_0000_0010_011:0,37 0000_0000_0010_010:0,38 "
    "0000_0000_0010_001:0,39 0000_0000_0010_000:0,40 0000_0000_0011_111:1,8 "
    "0000_0000_0011_110:1,9 0000_0000_0011_101:1,10 0000_0000_0011_100:1,11 "
    "0000_0000_0011_011:1,12 0000_0000_0011_010:1,13 0000_0000_0011_001:1,14 "
    "0000_0000_0001_0011:1,15 0000_0000_0001_0010:1,16 0000_0000_0001_0001:1,17 "
    "0000_0000_0001_0000:1,18 0000_0000_0001_0100:6,3 0000_0000_0001_1010:11,2 "
    "0000_0000_0001_1001:12,2 0000_0000_0001_1000:13,2 0000_0000_0001_0111:14,2 "
    "0000_0000_0001_0110:15,2 0000_0000_0001_0101:16,2 0000_0000_0001_1111:27,1 "
    "0000_0000_0001_1110:28,1 0000_0000_0001_1101:29,1 0000_0000_0001_1100:30,1 "
    "0000_0000_0001_1011:31,1 ";

struct Printed {
  std::string bits;
  std::string value;
};

std::vector<Printed> tokens(const char* text) {
  std::vector<Printed> out;
  std::istringstream in(text);
  std::string token;
  while (in >> token) {
    const size_t colon = token.find(':');
    std::string bits = token.substr(0, colon);
    bits.erase(std::remove(bits.begin(), bits.end(), '_'), bits.end());
    out.push_back({bits, token.substr(colon + 1)});
  }
  return out;
}

Code makeCode(const std::string& bits, int32_t value, int run, int level) {
  return Code{static_cast<int>(bits.size()), static_cast<uint32_t>(std::stoul(bits, nullptr, 2)),
              value, run, level};
}

std::vector<Code> plainCodes(const char* text) {
  std::vector<Code> codes;
  for (const Printed& p : tokens(text)) codes.push_back(makeCode(p.bits, std::stoi(p.value), 0, 0));
  return codes;
}

// Each (run, level) becomes two codes with the sign bit appended. The first
// coefficient of a non-intra block (Table B.14 note) codes run 0, level 1 as
// "1s" instead of "11s" and has no end_of_block.
std::vector<Code> runLevelCodes(const char* text, bool firstCoefficient) {
  std::vector<Code> codes;
  for (Printed p : tokens(text)) {
    if (p.value == "E") {
      if (!firstCoefficient) codes.push_back(makeCode(p.bits, 0, 254, 254));
      continue;
    }
    if (p.value == "X") {
      codes.push_back(makeCode(p.bits, 0, 255, 255));
      continue;
    }
    const int run = std::stoi(p.value.substr(0, p.value.find(',')));
    const int level = std::stoi(p.value.substr(p.value.find(',') + 1));
    if (firstCoefficient && p.bits == "11") p.bits = "1";
    codes.push_back(makeCode(p.bits + "0", 0, run, level));
    codes.push_back(makeCode(p.bits + "1", 0, run, -level));
  }
  return codes;
}

struct TableCase {
  const char* name;
  VlcSlot slot;
  int maxLength;
  std::vector<int> widths;
  size_t entries;
  std::vector<Code> printed;
};

std::vector<TableCase> tableCases() {
  return {
      {"B1", kVlcAddressIncrement, 11, {3, 8}, 34, plainCodes(kTable1)},
      {"B2", kVlcMacroblockTypeI, 2, {2}, 2, plainCodes(kTable2)},
      {"B3", kVlcMacroblockTypeP, 6, {1, 5}, 7, plainCodes(kTable3)},
      {"B4", kVlcMacroblockTypeB, 6, {3, 3}, 11, plainCodes(kTable4)},
      {"B9", kVlcCodedBlockPattern, 9, {3, 6}, 64, plainCodes(kTable9)},
      {"B10", kVlcMotionCode, 11, {3, 8}, 33, plainCodes(kTable10)},
      {"B12", kVlcDcSizeLuma, 9, {4, 5}, 12, plainCodes(kTable12)},
      {"B13", kVlcDcSizeChroma, 10, {4, 6}, 12, plainCodes(kTable13)},
      {"B14first", kVlcCoefficientFirst, 17, {9, 5, 3}, 223, runLevelCodes(kTable14, true)},
      {"B14", kVlcCoefficientZero, 17, {9, 5, 3}, 224, runLevelCodes(kTable14, false)},
      {"B15", kVlcCoefficientOne, 17, {9, 5, 3}, 224, runLevelCodes(kTable15, false)},
  };
}

class AnnexBTable : public testing::TestWithParam<TableCase> {};

TEST_P(AnnexBTable, DescriptionHoldsExactlyThePrintedCodes) {
  const TableCase& t = GetParam();
  const VlcSlotDescription& d = kVlcSlotDescriptions[t.slot];
  const CodeList list = parseDescription(d.codes, d.runLevel);
  EXPECT_EQ(list.maxLength, t.maxLength);
  EXPECT_EQ(list.levelWidths, t.widths);
  EXPECT_EQ(list.codes.size(), t.entries);
  ASSERT_EQ(t.printed.size(), t.entries);
  for (const Code& expected : t.printed) {
    const Code* actual = list.find(expected.length, expected.bits);
    ASSERT_NE(actual, nullptr) << t.name << ": no code " << expected.text();
    EXPECT_EQ(actual->value, expected.value) << t.name << " " << expected.text();
    EXPECT_EQ(actual->run, expected.run) << t.name << " " << expected.text();
    EXPECT_EQ(actual->level, expected.level) << t.name << " " << expected.text();
  }
}

INSTANTIATE_TEST_SUITE_P(Slots, AnnexBTable, testing::ValuesIn(tableCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Figures 7-2 and 7-3 give the scan position of each coefficient, row by row.
constexpr int kZigzagFigure[64] = {
    0,  1,  5,  6,  14, 15, 27, 28, 2,  4,  7,  13, 16, 26, 29, 42,
    3,  8,  12, 17, 25, 30, 41, 43, 9,  11, 18, 24, 31, 40, 44, 53,
    10, 19, 23, 32, 39, 45, 52, 54, 20, 22, 33, 38, 46, 51, 55, 60,
    21, 34, 37, 47, 50, 56, 59, 61, 35, 36, 48, 49, 57, 58, 62, 63};
constexpr int kAlternateFigure[64] = {
    0,  4,  6,  20, 22, 36, 38, 52, 1,  5,  7,  21, 23, 37, 39, 53,
    2,  8,  19, 24, 34, 40, 50, 54, 3,  9,  18, 25, 35, 41, 51, 55,
    10, 17, 26, 30, 42, 46, 56, 60, 11, 16, 27, 31, 43, 47, 57, 61,
    12, 15, 28, 32, 44, 48, 58, 62, 13, 14, 29, 33, 45, 49, 59, 63};

TEST(ScanTables, AreTheInverseOfTheStandardsFigures) {
  for (int raster = 0; raster < 64; ++raster) {
    EXPECT_EQ(kScanTables[0][kZigzagFigure[raster]], raster);
    EXPECT_EQ(kScanTables[1][kAlternateFigure[raster]], raster);
  }
}

TEST(QuantiserScale, RowsFollowTable7_6) {
  const int nonLinear[32] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  10, 12, 14, 16, 18,  20,  22,
                             24, 28, 32, 36, 40, 44, 48, 52, 56, 64, 72, 80, 88, 96, 104, 112};
  for (int code = 0; code < 32; ++code) {
    EXPECT_EQ(kQuantiserScale[0][code], 2 * code);
    EXPECT_EQ(kQuantiserScale[1][code], nonLinear[code]);
  }
}

TEST(DefaultIntraMatrix, StartsWithTheStandardsFirstRowsInRasterOrder) {
  const Ipp16s firstRows[16] = {8, 16, 19, 22, 26, 27, 29, 34, 16, 16, 22, 24, 27, 29, 34, 37};
  EXPECT_TRUE(std::equal(firstRows, firstRows + 16, kDefaultIntraMatrix));
  EXPECT_EQ(kDefaultIntraMatrix[63], 83);
}

}  // namespace
}  // namespace quarlin::test
