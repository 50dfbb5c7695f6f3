// The built `quarlin` tool on the committed streams: its JSON against the
// corpus catalogue, seek data round trips, refusal messages, and decoded
// pictures against FFmpeg's.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "json_reader.h"
#include "tests/support/corpus.h"

namespace quarlin::tool {
namespace {

namespace fs = std::filesystem;
using testing::JsonValue;
using testing::parseJson;

using test::CorpusStream;

const std::string kStreams = std::string(QUARLIN_TEST_DATA) + "/streams/";

std::string quoted(const std::string& text) { return "'" + text + "'"; }

class ScratchFolder {
 public:
  ScratchFolder() : path_(fs::temp_directory_path() / ("quarlin-tool-test-" + std::to_string(::getpid()))) {
    fs::create_directories(path_);
  }
  ~ScratchFolder() { fs::remove_all(path_); }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct ToolRun {
  int status = -1;
  std::string out, err;
};

ToolRun runShell(const std::string& command, const ScratchFolder& scratch) {
  const std::string out = scratch.file("stdout"), err = scratch.file("stderr");
  const int raw = std::system((command + " >" + quoted(out) + " 2>" + quoted(err) + " </dev/null").c_str());
  return ToolRun{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(out), readFile(err)};
}

ToolRun runTool(const std::string& arguments, const ScratchFolder& scratch) {
  return runShell(quoted(QUARLIN_TOOL_PATH) + " " + arguments, scratch);
}

bool haveFfmpeg() { return std::system("ffmpeg -version >/dev/null 2>&1") == 0; }

// A YUV4MPEG2 file split into its header fields and frames.
struct Y4m {
  int width = 0, height = 0;
  std::string header;
  std::vector<std::string> frames;
};

Y4m readY4m(const std::string& path) {
  const std::string data = readFile(path);
  Y4m y4m;
  const std::size_t end = data.find('\n');
  if (end == std::string::npos) return y4m;
  y4m.header = data.substr(0, end);
  std::istringstream fields(y4m.header);
  for (std::string field; fields >> field;) {
    if (field[0] == 'W') y4m.width = std::atoi(field.c_str() + 1);
    if (field[0] == 'H') y4m.height = std::atoi(field.c_str() + 1);
  }
  const std::size_t frameBytes =
      std::size_t(y4m.width) * y4m.height + 2 * std::size_t((y4m.width + 1) / 2) * ((y4m.height + 1) / 2);
  for (std::size_t at = end + 1; at < data.size();) {
    const std::size_t start = data.find('\n', at) + 1;
    y4m.frames.push_back(data.substr(start, frameBytes));
    at = start + frameBytes;
  }
  return y4m;
}

// --- decodable streams ------------------------------------------------------
// The library's answers themselves are checked on the whole corpus through
// the exports; here a stream of each kind shows the tool reports them.

class DecodableStream : public ::testing::TestWithParam<CorpusStream> {
 protected:
  ScratchFolder scratch;
  std::string path() const { return quoted(GetParam().path()); }
};

TEST_P(DecodableStream, InfoJsonMatchesTheCatalogueAndSeekDataGivesTheSame) {
  const ToolRun run = runTool("info --json " + path(), scratch);
  ASSERT_EQ(run.status, 0) << run.err;
  const JsonValue info = parseJson(run.out);
  EXPECT_EQ(info["container"].string(), GetParam().container);
  // In a file cut short the picture cut off may be lost, and the frame
  // count ends before the gap it leaves.
  EXPECT_GE(info["frameCount"].number(), GetParam().frames - (GetParam().lastFrameMayFail() ? 1 : 0));
  EXPECT_LE(info["frameCount"].number(), GetParam().frames);
  const double width = info["width"].number(), height = info["height"].number();
  EXPECT_GE(info["lumaSize"].number(), width * (height + 128));
  EXPECT_EQ(info["stride"].number(), double((int(width) + 127) / 128 * 128));
  EXPECT_GT(info["frameRate"].number(), 0);
  const auto& frames = info["frames"].array();
  ASSERT_GE(frames.size(), std::size_t(info["frameCount"].number()));
  double previous = -1;
  for (const JsonValue& frame : frames) {
    EXPECT_GT(frame["n"].number(), previous);
    previous = frame["n"].number();
    EXPECT_NE(std::string("IPBD").find(frame["type"].string()), std::string::npos);
    EXPECT_GT(frame["size"].number(), 0);
    if (frame["type"].string() == "I") {
      EXPECT_EQ(frame["forward"].number(), -1);
    }
  }

  const std::string seek = scratch.file("index.seek");
  const ToolRun index = runTool("index " + path() + " -o " + quoted(seek), scratch);
  ASSERT_EQ(index.status, 0) << index.err;
  EXPECT_TRUE(index.err.empty()) << index.err;  // no progress bar off a terminal
  const ToolRun restored = runTool("info --json --seek-data " + quoted(seek) + " " + path(), scratch);
  ASSERT_EQ(restored.status, 0) << restored.err;
  EXPECT_EQ(restored.out, run.out);
}

INSTANTIATE_TEST_SUITE_P(Corpus, DecodableStream,
                         ::testing::ValuesIn(test::corpusStreams({"es-open-gop.m2v", "es-field-pictures-tff.m2v",
                                                                  "ps-dvd-ac3-mp2.vob", "ts-two-programs.ts",
                                                                  "ts-truncated.ts"})),
                         test::CorpusTestName());

// --- refused files ---------------------------------------------------------

class RefusedStream : public ::testing::TestWithParam<CorpusStream> {
 protected:
  ScratchFolder scratch;
};

TEST_P(RefusedStream, OneLineNamingTheCauseAndTheResult) {
  static const std::map<std::string, std::string> kWords = {
      {"es-mpeg1.m1v", "MPEG-1 video is not supported"},   {"ts-mpeg1-video.ts", "MPEG-1 video is not supported"},
      {"es-422.m2v", "4:2:2 video is not supported"},      {"other-empty.bin", "the file is empty"},
      {"other-mp4-moov-first.mp4", "MP4/QuickTime"},       {"other-mov-mdat-first.mov", "MP4/QuickTime"},
      {"other-asf.asf", "ASF/WMV"},                         {"other-mpeg4-visual.m4v", "MPEG-4 visual"},
      {"other-h263.h263", "H.263"},
  };
  const std::string file = GetParam().path();
  const ToolRun run = runTool("info " + quoted(file), scratch);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.out.empty());
  const std::string result = std::to_string(GetParam().refusal());
  EXPECT_EQ(run.err.rfind("quarlin: " + file + ": ", 0), 0u) << run.err;
  EXPECT_NE(run.err.find("(result " + result + ")\n"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
  const auto words = kWords.find(GetParam().file);
  if (words != kWords.end()) {
    EXPECT_NE(run.err.find(words->second), std::string::npos) << run.err;
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, RefusedStream, ::testing::ValuesIn(test::refusedStreams()),
                         test::CorpusTestName());

// --- decoded pictures --------------------------------------------------------

class DecodedLikeFfmpeg : public ::testing::TestWithParam<std::string> {
 protected:
  ScratchFolder scratch;
};

TEST_P(DecodedLikeFfmpeg, EveryFrameInDisplayOrder) {
  if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string stream = kStreams + GetParam();
  const std::string ours = scratch.file("ours.y4m"), theirs = scratch.file("theirs.y4m");
  const ToolRun run = runTool("decode " + quoted(stream) + " -o " + quoted(ours), scratch);
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(runShell("ffmpeg -v error -i " + quoted(stream) + " -f yuv4mpegpipe -pix_fmt yuv420p " + quoted(theirs),
                     scratch).status, 0);
  const Y4m a = readY4m(ours), b = readY4m(theirs);
  ASSERT_EQ(a.width, b.width);
  ASSERT_EQ(a.height, b.height);
  ASSERT_EQ(a.frames.size(), b.frames.size());
  // Both decoders follow ISO/IEC 13818-2 but their inverse DCTs differ by a
  // unit here and there, which P-picture chains can add up: small sample
  // differences are expected, a wrong, shifted or misplaced frame is not.
  for (std::size_t n = 0; n < a.frames.size(); ++n) {
    int worst = 0;
    double total = 0;
    std::size_t count = 0;
    const std::string& x = a.frames[n];
    const std::string& y = b.frames[n];
    const auto compare = [&](std::size_t at) {
      const int difference = std::abs(uint8_t(x[at]) - uint8_t(y[at]));
      worst = std::max(worst, difference);
      total += difference;
      ++count;
    };
    for (std::size_t i = 0; i < x.size(); ++i) compare(i);
    EXPECT_LE(worst, 6) << "frame " << n;
    EXPECT_LE(total / double(count), 0.25) << "frame " << n;
  }
}

// The library's pictures are compared with FFmpeg's, frame by frame, on the
// whole corpus through the exports; here the tool's output path (odd sizes
// cropped, a transport stream's video PID).
INSTANTIATE_TEST_SUITE_P(Streams, DecodedLikeFfmpeg,
                         ::testing::Values("es-odd-size-178x146.m2v", "ts-mp2-audio.ts"),
                         [](const auto& info) { return test::testNameOf(info.param); });

// --- sizes of the outputs --------------------------------------------------

class ToolOutput : public ::testing::Test {
 protected:
  ScratchFolder scratch;
};

std::pair<int, int> pngSize(const std::string& path) {
  const std::string data = readFile(path);
  if (data.size() < 24 || data.compare(1, 3, "PNG") != 0) return {-1, -1};
  const auto u32 = [&](std::size_t at) {
    return int(uint8_t(data[at])) << 24 | int(uint8_t(data[at + 1])) << 16 | int(uint8_t(data[at + 2])) << 8 |
           int(uint8_t(data[at + 3]));
  };
  return {u32(16), u32(20)};
}

TEST_F(ToolOutput, ReducedScalesHaveHalfSizesRoundedUp) {
  struct Case {
    const char* stream;
    const char* scale;
    int width, height;
  };
  const Case cases[] = {{"es-odd-size-178x146.m2v", "half", 89, 146},
                        {"es-odd-size-178x146.m2v", "quarter", 89, 73},
                        {"es-field-pictures-tff.m2v", "quarter", 88, 72},
                        {"es-field-pictures-tff.m2v", "half", 88, 144}};
  for (const Case& c : cases) {
    const std::string out = scratch.file("scaled.y4m");
    const ToolRun run = runTool("decode " + quoted(kStreams + c.stream) + " --scale " + c.scale + " -o " + quoted(out),
                            scratch);
    ASSERT_EQ(run.status, 0) << c.stream << " " << run.err;
    const Y4m y4m = readY4m(out);
    EXPECT_EQ(y4m.width, c.width) << c.stream << " " << c.scale;
    EXPECT_EQ(y4m.height, c.height) << c.stream << " " << c.scale;
    EXPECT_EQ(y4m.frames.size(), 8u + 4u * (std::string(c.stream).find("field") != std::string::npos));
  }
}

TEST_F(ToolOutput, RangeOfFramesToStandardOutput) {
  const ToolRun run = runTool("decode " + quoted(kStreams + "es-long-gop.m2v") + " --start 100 --count 30 -o -", scratch);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string copy = scratch.file("range.y4m");
  std::ofstream(copy, std::ios::binary) << run.out;
  EXPECT_EQ(readY4m(copy).frames.size(), 20u);  // clipped at the last of 120 frames
}

// A cut file decodes to its end: the picture cut off is written as far as
// it decoded, with one warning naming it, and the exit status says so;
// --strict stops there.
TEST_F(ToolOutput, CutFileDecodesToTheEnd) {
  const std::string stream = quoted(kStreams + "es-cut-both-ends.m2v"), out = scratch.file("cut.y4m");
  const ToolRun run = runTool("decode " + stream + " -o " + quoted(out), scratch);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(readY4m(out).frames.size(), 20u);
  EXPECT_NE(run.err.find("warning: frame 18: decoding failed (result -3)"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("20 frames written, 1 of the pictures decoded failed"), std::string::npos) << run.err;
  const ToolRun strict = runTool("decode " + stream + " --strict -o " + quoted(out), scratch);
  EXPECT_EQ(strict.status, 1);
  EXPECT_EQ(readY4m(out).frames.size(), 18u);
}

TEST_F(ToolOutput, FrameAsPngAndRaw) {
  const std::string stream = quoted(kStreams + "es-odd-size-350x286.m2v");
  const std::string png = scratch.file("f.png"), yuv = scratch.file("f.yuv");
  ASSERT_EQ(runTool("frame " + stream + " 5 -o " + quoted(png), scratch).status, 0);
  EXPECT_EQ(pngSize(png), std::make_pair(350, 286));
  ASSERT_EQ(runTool("frame " + stream + " 5 --scale quarter -o " + quoted(yuv), scratch).status, 0);
  EXPECT_EQ(fs::file_size(yuv), 175u * 143 + 2u * 88 * 72);
  EXPECT_EQ(runTool("frame " + stream + " 8 -o " + quoted(png), scratch).status, 2);  // 8 frames: 0..7
}

TEST_F(ToolOutput, ContactSheetGrid) {
  const std::string sheet = scratch.file("sheet.png");
  const ToolRun run = runTool("thumbs " + quoted(kStreams + "es-long-gop.m2v") + " --count 5 --columns 2 -o " +
                              quoted(sheet), scratch);
  ASSERT_EQ(run.status, 0) << run.err;
  // Quarter-scale 88x72 cells, 2 columns, 3 rows, 4-pixel gaps.
  EXPECT_EQ(pngSize(sheet), std::make_pair(2 * 92 + 4, 3 * 76 + 4));
}

TEST_F(ToolOutput, UsageAndMissingFiles) {
  EXPECT_EQ(runTool("", scratch).status, 2);
  EXPECT_EQ(runTool("transcode x", scratch).status, 2);
  const ToolRun help = runTool("--help", scratch);
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage: quarlin"), std::string::npos);
  const ToolRun missing = runTool("info /nonexistent/clip.m2v", scratch);
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "quarlin: /nonexistent/clip.m2v: cannot open the file: No such file or directory (result -3)\n");
  const ToolRun badSeek = runTool("info --seek-data /nonexistent/x.seek " + quoted(kStreams + "es-ip-only.m2v"), scratch);
  EXPECT_EQ(badSeek.status, 1);
  EXPECT_NE(badSeek.err.find("/nonexistent/x.seek: cannot open"), std::string::npos) << badSeek.err;
}

}  // namespace
}  // namespace quarlin::tool
