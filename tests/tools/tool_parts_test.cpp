// The parts of the quarlin tool whose results the end-to-end runs do not pin
// down, from the command line to the words for a refused file.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/stream_writer.h"
#include "tools/commands/command_line.h"
#include "tools/commands/json_writer.h"
#include "tools/host/failure_diagnosis.h"
#include "tools/host/stream_look.h"
#include "tools/host/tool_error.h"
#include "tools/host/utf16_path.h"
#include "tools/images/bitmap_font.h"
#include "tools/images/contact_sheet.h"
#include "tools/images/image_scaling.h"
#include "tools/images/y4m_writer.h"

namespace quarlin::tool {
namespace {

using test::Bytes;
using Samples = std::vector<uint8_t>;

TEST(CommandLine, OptionFormsAndUsageErrors) {
  const auto parse = [](std::vector<const char*> args) {
    args.insert(args.begin(), "quarlin");
    return parseCommandLine(int(args.size()), args.data());
  };
  const Options o = parse({"decode", "a.ts", "-o", "-", "--start=10", "--cache-mb", "64", "-q"});
  EXPECT_TRUE(o.start == 10 && o.cacheBytes == std::size_t{64} << 20 && o.quiet);
  const std::vector<std::vector<const char*>> errors = {
      {"info"}, {"info", "a.m2v", "b.m2v"}, {"info", "a.m2v", "--start", "3"}, {"index", "a.m2v"},
      {"decode", "a.m2v", "-o"}, {"decode", "a.m2v", "-o", "x", "--start", "-1"},
      {"decode", "a.m2v", "-o", "x", "--count", "12x"}, {"decode", "a.m2v", "-o", "x", "--scale", "double"},
      {"decode", "a.m2v", "-o", "x", "--quiet=yes"}, {"decode", "a.m2v", "-o", "x", "--frame-list", "1,,2"},
      {"decode", "a.m2v", "-o", "x", "--frame-list", "1", "--count", "2"}, {"frame", "a.m2v", "-o", "x.png"},
      {"decode", "a.m2v", "--null", "-o", "x"}, {"index", "a.m2v", "--null"},
      {"frame", "a.m2v", "seven", "-o", "x.png"}, {"frame", "a.m2v", "99999999999", "-o", "x.png"},
      {"thumbs", "a.m2v", "-o", "s.png", "--count", "0"}, {"thumbs", "a.m2v", "-o", "s.png", "--columns", "0"}};
  for (const auto& args : errors) EXPECT_THROW(parse(args), UsageError) << args.size() << " " << args.back();
}

// JSON (escapes, non-finite numbers, one-line rows), YUV4MPEG2 headers, and
// paths that are not UTF-8: cut short, overlong, encoded surrogates (valid
// ones are opened end to end).
TEST(TextFormats, JsonY4mAndPaths) {
  std::string out;
  JsonWriter json(out);
  json.beginObject();
  json.key("name"), json.value("a\"b\\c\n\x01"), json.key("aspect"), json.value(std::nan(""));
  json.key("rate"), json.value(30000.0 / 1001), json.key("key"), json.value(false);
  json.key("empty"), json.beginArray(), json.endArray(), json.key("frames"), json.beginArray();
  for (int i = 0; i < 2; ++i) json.beginObject(true), json.key("n"), json.value(i - 1), json.endObject();
  json.endArray(), json.endObject();
  EXPECT_EQ(out, "{\n  \"name\": \"a\\\"b\\\\c\\n\\u0001\",\n  \"aspect\": null,\n  \"rate\": 29.97002997002997,\n"
                 "  \"key\": false,\n  \"empty\": [],\n  \"frames\": [\n    {\"n\": -1},\n    {\"n\": 0}\n  ]\n}\n");
  EXPECT_EQ(formatY4mHeader({720, 576, {30000, 1001}, 't', {16, 15}}),
            "YUV4MPEG2 W720 H576 F30000:1001 It A16:15 C420jpeg\n");
  for (const char* bad : {"\xFF", "\xC3", "\xC0\xAF", "\xED\xA0\x80"})
    EXPECT_EQ(utf16Path(std::string(bad) + "a"), (std::vector<uint16_t>{0xFFFD, 'a', 0})) << bad;
}

// Frame rates of ISO/IEC 13818-2 table 6-4 (the extension factors are read
// from streams below), and pixel aspect ratios as exact fractions.
TEST(Rational, FrameRatesAndAspectRatios) {
  const Rational rates[] = {{24000, 1001}, {24, 1}, {25, 1}, {30000, 1001}, {30, 1}, {50, 1}, {60000, 1001}, {60, 1}};
  for (uint8_t code = 1; code <= 8; ++code) EXPECT_EQ(frameRate(code, 0, 0), rates[code - 1]) << int(code);
  for (uint8_t code : {0, 9, 15}) EXPECT_FALSE(frameRate(code, 0, 0).has_value()) << int(code);
  const std::pair<double, Rational> aspects[] = {{576.0 * 4 / 3 / 720, {16, 15}},   {576.0 * 16 / 9 / 720, {64, 45}},
                                                 {576.0 * 2.21 / 720, {221, 125}}, {std::nan(""), {0, 0}}};
  for (const auto& [value, fraction] : aspects) EXPECT_EQ(approximate(value), fraction) << value;
}

// BT.601 colour bars (limited range); chroma upsampled at the MPEG-2 4:2:0
// positions: luma row 2j + 1 a quarter of the way from chroma row j to
// j + 1, row 2j a quarter of the way to j - 1, edges repeated; even columns
// co-sited, odd ones the mean of their neighbours; odd picture sizes.
TEST(RgbConversion, ColoursAndChromaPositions) {
  const uint8_t bars[][6] = {{16, 128, 128, 0, 0, 0}, {235, 128, 128, 255, 255, 255}, {126, 128, 128, 128, 128, 128},
                             {81, 90, 240, 255, 0, 0}, {145, 54, 34, 0, 255, 0}, {41, 240, 110, 0, 0, 255},
                             {0, 128, 128, 0, 0, 0}, {255, 128, 128, 255, 255, 255}};
  for (const auto& b : bars) {
    uint8_t rgb[3];
    yCbCrToRgb(b[0], b[1], b[2], rgb);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(rgb[i], b[3 + i], 2) << int(b[0]) << " " << i;
  }
  const Samples rows = {0, 80, 160, 240}, columns = {10, 50, 90}, white(5 * 3, 235), grey(3 * 2, 128);
  EXPECT_EQ(upsampleChroma({rows.data(), 1, 1, 4}, 1, 8), (Samples{0, 20, 60, 100, 140, 180, 220, 240}));
  EXPECT_EQ(upsampleChroma({columns.data(), 3, 3, 1}, 6, 1), (Samples{10, 30, 50, 70, 90, 90}));
  EXPECT_EQ(toRgb({{white.data(), 5, 5, 3}, {grey.data(), 3, 3, 2}, {grey.data(), 3, 3, 2}}).pixels, Samples(45, 255));
}

// Box means rounded half up, boxes smaller at the right and bottom edges, of
// a 5x3 luma plane 0..14 (stride 8) and 3x2 chroma 0, 10, 20 / 30, 40, 50;
// thumbnails spread evenly, each the middle of its share, labels drawable,
// 40x30 cells in 2 columns with 4-pixel gaps (the second ends at 87, 33).
TEST(Thumbnails, BoxMeansSpreadFramesAndGlyphs) {
  Samples y(8 * 3), c = {0, 10, 20, 0, 30, 40, 50, 0};
  for (int i = 0; i < 15; ++i) y[i / 5 * 8 + i % 5] = uint8_t(i);
  const ImageView view{{y.data(), 8, 5, 3}, {c.data(), 4, 3, 2}, {c.data(), 4, 3, 2}};
  const auto planes = [&](uint32_t factorY) {
    const YuvImage image = reduceImage(view, 2, factorY);
    const PlaneView l = image.view().y, r = image.view().cr;
    return std::make_pair(Samples(l.data, l.data + l.width * l.height), Samples(r.data, r.data + r.width * r.height));
  };
  EXPECT_EQ(planes(1), std::make_pair(Samples{1, 3, 4, 6, 8, 9, 11, 13, 14}, Samples{5, 20, 35, 50}));
  EXPECT_EQ(planes(2), std::make_pair(Samples{3, 5, 7, 11, 13, 14}, Samples{20, 35}));
  EXPECT_EQ(spreadFrames(0, 100, 4), (std::vector<int32_t>{12, 37, 62, 87}));
  EXPECT_EQ(spreadFrames(10, 3, 24), (std::vector<int32_t>{10, 11, 12}));
  for (char g : std::string("0123456789IPBD? -")) EXPECT_NE(glyphRows(g), nullptr) << g;
  const RgbImage sheet = composeContactSheet(std::vector<Thumbnail>(3, {RgbImage(40, 30, 200), "0 I"}), 2);
  EXPECT_TRUE(sheet.width == 92 && sheet.height == 72 && sheet.at(87, 33)[0] == 200 && sheet.at(88, 33)[0] != 200 &&
              sheet.at(60, 50)[0] != 200);  // the fourth cell is empty
}

// A sequence header (matrices and extension as given), a group and an
// I-picture of picture_structure `structure` (3 a frame, 1 top, 2 bottom field).
Bytes videoStart(const test::SequenceParams& sequence, int structure = 3) {
  return test::elementaryStream({{{0, 'I', structure}}}, sequence);
}

// In every container, also with headers split across PES packets or across
// transport packets after others. Matrix values of 0 (possible in a damaged
// stream) come out here as the bytes 00 00 01 B5 18, a fake sequence
// extension the look must step over.
TEST(StreamLook, FirstSequenceAndPictureInEveryContainer) {
  Samples bait(64, 16);
  const uint8_t fake[] = {0x80, 0x00, 0x00, 0xDA, 0x8C};
  std::copy(std::begin(fake), std::end(fake), bait.begin() + 10);
  test::SequenceParams rate60, matrices, progressive;
  rate60.frameRateCode = 4, rate60.extN = 1;
  matrices.intraMatrix = matrices.nonIntraMatrix = bait.data(), matrices.extD = 1;
  progressive.progressive = 1;
  Bytes afterFiller(150, 0xFF);
  test::append(afterFiller, videoStart(matrices, 1));
  const struct {
    Bytes bytes;
    Rational rate;
    std::string letterAndFields;
  } cases[] = {{videoStart(rate60), {60000, 1001}, "b0"},  // a frame picture, top_field_first 0
               {videoStart(progressive), {25, 1}, "p0"},
               {videoStart({}, 1), {25, 1}, "t1"},
               {videoStart(matrices, 2), {25, 2}, "b1"},
               {test::inProgramStream(videoStart(rate60), 12), {60000, 1001}, "b0"},
               {test::inTransportStream(afterFiller), {25, 2}, "t1"}};
  for (const auto& c : cases) {
    const StreamLook look = lookAtStream(c.bytes);
    EXPECT_TRUE(look.sequenceExtension && look.pictureCodingExtension && look.width == 720 && look.chromaFormat == 1);
    EXPECT_EQ(frameRate(look), c.rate);
    EXPECT_EQ(interlacingLetter(look) + std::to_string(isFieldCoded(look)), c.letterAndFields);
  }
}

// The refused files of the corpus are named end to end; these are the
// causes no corpus file shows.
TEST(FailureDiagnosis, NamesTheCause) {
  test::SequenceParams aspectZero;
  aspectZero.aspect = 0;
  const auto text = [](const char* bytes, std::size_t size) { return Bytes(bytes, bytes + size); };
  const std::pair<Bytes, const char*> cases[] = {{videoStart(aspectZero), "aspect_ratio_information 0"},
                                                 {text("\0\0\0\x20" "ftypisom", 12), "MP4/QuickTime"},
                                                 {text("RIFF\x10\0\0\0" "AVI LIST", 16), "AVI"},
                                                 {text("\x1A\x45\xDF\xA3\x01\x02", 6), "Matroska"},
                                                 {Bytes(1000, 0x33), "no MPEG-2 video sequence header"}};
  for (const auto& [head, words] : cases)
    EXPECT_NE(describeOpenFailure(head, head.size(), -3).find(words), std::string::npos) << words;
}

}  // namespace
}  // namespace quarlin::tool
