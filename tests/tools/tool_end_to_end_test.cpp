// The built `quarlin` tool on the committed streams: its reports against the
// library's exports and FFmpeg's pictures, its outputs, messages, statuses.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "tests/support/command.h"
#include "tests/support/corpus.h"
#include "tests/support/exported_session.h"

namespace quarlin::tool {
namespace {

namespace fs = std::filesystem;

std::string quoted(const std::string& text) { return "'" + text + "'"; }

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The folder the runs work in, where outputs are named without a path.
const struct Scratch {
  fs::path folder = fs::temp_directory_path() / ("quarlin-tool-test-" + std::to_string(::getpid()));
  Scratch() { fs::create_directories(folder); }
  ~Scratch() { fs::remove_all(folder); }
  std::string file(const std::string& name) const { return (folder / name).string(); }
} scratch;

struct ToolRun {
  int status;
  std::string out, err;
};

// The tool (or another program) in the scratch folder; $S names the folder
// of the committed streams.
ToolRun run(const std::string& arguments, const std::string& program = QUARLIN_TOOL_PATH) {
  const int raw = std::system(("cd " + quoted(scratch.folder) + " && S=" + quoted(QUARLIN_TEST_DATA "/streams") +
                               " && " + quoted(program) + " " + arguments + " >stdout 2>stderr </dev/null").c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(scratch.file("stdout")), readFile(scratch.file("stderr"))};
}

// The number after "key": in the tool's JSON `text`.
std::string jsonNumber(const std::string& text, const std::string& key) {
  const std::size_t at = text.find("\"" + key + "\": ");
  return at == std::string::npos ? "?" : std::to_string(std::strtoll(text.c_str() + at + key.size() + 4, nullptr, 10));
}

class DecodableStream : public testing::TestWithParam<test::CorpusStream> {};

// What the tool reports is what the exports answer, also from the seek data
// it wrote and from a path beyond ASCII.
TEST_P(DecodableStream, InfoIsTheLibrarysAnswers) {
  fs::copy_file(GetParam().path(), scratch.file("clip-\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xAC"),
                fs::copy_options::overwrite_existing);
  const ToolRun info = run("info --json 'clip-\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xAC'");
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("\"container\": \"" + GetParam().container + "\""), std::string::npos);
  test::ExportedSession f(GetParam().path());
  FileInfo facts{};
  int32_t start[2] = {}, sizes[2] = {};
  Quarlin_GetFileInfo(f.handle(), &facts);
  Quarlin_GetStartFrameOffset(f.handle(), &start[0], &start[1]);
  Quarlin_GetFrameSizes(f.handle(), &sizes[0], &sizes[1]);
  const std::pair<const char*, int64_t> expected[] = {
      {"width", facts.width},   {"height", facts.height},         {"displayWidth", facts.displayWidth},
      {"stride", facts.stride}, {"frameCount", facts.frameCount}, {"startFrameOffset", start[0]},
      {"lumaSize", sizes[0]},   {"chromaSize", sizes[1]}};
  for (const auto& [key, value] : expected) EXPECT_EQ(jsonNumber(info.out, key), std::to_string(value)) << key;
  std::string ours, theirs;
  std::istringstream lines(info.out);
  for (std::string line; std::getline(lines, line);)
    if (line.find("{\"n\": ") != std::string::npos)
      ours += jsonNumber(line, "n") + line.substr(line.find("\"type\": ") + 9, 1) + jsonNumber(line, "forward") +
              "," + jsonNumber(line, "backward") + " ";
  for (const test::SeekDataEntry& e : test::seekDataEntries(f.seekData())) {
    int32_t forward = 0, backward = 0;
    Quarlin_GetFrameDependancies(f.handle(), e.number, &forward, &backward);
    theirs += std::to_string(e.number) + e.type + std::to_string(forward) + "," + std::to_string(backward) + " ";
  }
  EXPECT_EQ(ours, theirs);
  const ToolRun index = run("index " + quoted(GetParam().path()) + " -o index.seek");
  EXPECT_EQ(std::to_string(index.status) + index.err, "0") << "no progress bar off a terminal";
  EXPECT_EQ(run("info --json --seek-data index.seek " + quoted(GetParam().path())).out, info.out);
}

// Frame and field pictures, each container, a file cut short.
std::vector<test::CorpusStream> infoStreams() {
  const std::set<std::string> files = {"es-open-gop.m2v", "es-field-pictures-tff.m2v", "ps-dvd-ac3-mp2.vob",
                                       "ts-two-programs.ts", "ts-truncated.ts"};
  std::vector<test::CorpusStream> streams;
  for (const test::CorpusStream& s : test::corpus())
    if (files.count(s.file)) streams.push_back(s);
  return streams;
}

INSTANTIATE_TEST_SUITE_P(Corpus, DecodableStream, testing::ValuesIn(infoStreams()), test::CorpusTestName());

class RefusedStream : public testing::TestWithParam<test::CorpusStream> {};

TEST_P(RefusedStream, OneLineNamingTheCauseAndTheResult) {
  static const std::map<std::string, std::string> kWords = {
      {"es-mpeg1.m1v", "MPEG-1 video is not supported"}, {"ts-mpeg1-video.ts", "MPEG-1 video is not supported"},
      {"es-422.m2v", "4:2:2 video is not supported"},    {"other-empty.bin", "the file is empty"},
      {"other-mp4-moov-first.mp4", "MP4/QuickTime"},     {"other-mov-mdat-first.mov", "MP4/QuickTime"},
      {"other-asf.asf", "ASF/WMV"},                       {"other-mpeg4-visual.m4v", "MPEG-4 visual"},
      {"other-h263.h263", "H.263"},
      {"ps-mpeg1-system.mpg", "MPEG-1 system streams are not supported"},
      {"ts-no-mpeg2-stream-type.ts", "lists no MPEG-2 video stream (stream_type 2)"},
      {"other-random-64k.bin", "no MPEG-2 video sequence header"}};
  const ToolRun info = run("info " + quoted(GetParam().path()));
  EXPECT_EQ(info.status, 1);
  EXPECT_EQ(info.out, "");
  EXPECT_EQ(info.err.rfind("quarlin: " + GetParam().path() + ": ", 0), 0u) << info.err;
  EXPECT_NE(info.err.find("(result " + std::to_string(GetParam().refusal()) + ")\n"), std::string::npos) << info.err;
  EXPECT_EQ(info.err.find('\n'), info.err.size() - 1) << info.err;
  const auto words = kWords.find(GetParam().file);
  ASSERT_NE(words, kWords.end()) << "no cause written down for " << GetParam().file;
  EXPECT_NE(info.err.find(words->second), std::string::npos) << info.err;
}

INSTANTIATE_TEST_SUITE_P(Corpus, RefusedStream, testing::ValuesIn(test::refusedStreams()), test::CorpusTestName());

// A YUV4MPEG2 stream: its size and its frames.
struct Y4m {
  std::size_t width = 0, height = 0;
  std::vector<std::string> frames;
};

Y4m readY4m(const std::string& data) {
  Y4m y4m;
  std::istringstream fields(data.substr(0, data.find('\n')));
  for (std::string field; fields >> field;) {
    if (field[0] == 'W') y4m.width = std::stoul(field.substr(1));
    if (field[0] == 'H') y4m.height = std::stoul(field.substr(1));
  }
  const std::size_t bytes = y4m.width * y4m.height + 2 * ((y4m.width + 1) / 2) * ((y4m.height + 1) / 2);
  for (std::size_t at = data.find("FRAME\n"); at < data.size(); at += 6 + bytes)
    y4m.frames.push_back(data.substr(at + 6, bytes));
  return y4m;
}

// The tool's output path (odd sizes cropped, a transport stream's video PID;
// the library's pictures are compared on the whole corpus). The inverse DCTs
// differ by a unit here and there, which P-picture chains can add up.
TEST(ToolRuns, DecodedLikeFfmpeg) {
  if (!test::onPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  for (const std::string stream : {"$S/es-odd-size-178x146.m2v", "$S/ts-mp2-audio.ts"}) {
    ASSERT_EQ(run("decode " + stream + " -o ours.y4m").status, 0);
    ASSERT_EQ(run("-v error -y -i " + stream + " -f yuv4mpegpipe -pix_fmt yuv420p theirs.y4m", "ffmpeg").status, 0);
    const Y4m a = readY4m(readFile(scratch.file("ours.y4m"))), b = readY4m(readFile(scratch.file("theirs.y4m")));
    ASSERT_EQ(std::make_pair(a.width, a.height), std::make_pair(b.width, b.height));
    ASSERT_EQ(a.frames.size(), b.frames.size());
    for (std::size_t n = 0; n < a.frames.size(); ++n) {
      int worst = 0, total = 0;
      for (std::size_t i = 0; i < a.frames[n].size(); ++i) {
        worst = std::max(worst, std::abs(uint8_t(a.frames[n][i]) - uint8_t(b.frames[n][i])));
        total += std::abs(uint8_t(a.frames[n][i]) - uint8_t(b.frames[n][i]));
      }
      EXPECT_TRUE(worst <= 6 && total <= 0.25 * double(a.frames[n].size())) << stream << " frame " << n;
    }
  }
}

// What a run wrote: "WxH" of a PNG, the bytes of raw planes, or "WxH N"
// of YUV4MPEG2 on standard output or in out.y4m; "-" for nothing.
std::string outputOf(const std::string& arguments, const std::string& out) {
  if (arguments.find(".yuv") != std::string::npos) return std::to_string(fs::file_size(scratch.file("f.yuv")));
  if (const std::size_t png = arguments.find(".png"); png != std::string::npos) {
    const std::size_t from = arguments.rfind(' ', png) + 1;
    const std::string data = readFile(scratch.file(arguments.substr(from, png + 4 - from)));
    uint32_t size[2] = {};
    for (std::size_t i = 16; i < 24 && data.size() >= 24 && data.compare(1, 3, "PNG") == 0; ++i)
      size[i / 20] = size[i / 20] << 8 | uint8_t(data[i]);
    return std::to_string(size[0]) + "x" + std::to_string(size[1]);
  }
  const Y4m y4m = readY4m(arguments.find("out.y4m") != std::string::npos ? readFile(scratch.file("out.y4m")) : out);
  if (y4m.frames.empty()) return "-";
  return std::to_string(y4m.width) + "x" + std::to_string(y4m.height) + " " + std::to_string(y4m.frames.size());
}

// Reduced scales have half sizes rounded up; a range is clipped at the last
// frame; a cut file decodes to its end, the picture cut off written as far
// as it decoded with a warning naming it, and the exit status says so;
// --strict stops there. Contact sheets: quarter-scale cells, 4-pixel gaps.
TEST(ToolRuns, OutputsStatusesAndMessages) {
  const struct {
    std::string arguments;
    int status;
    std::string output, words;  // words on standard output or error
  } cases[] = {
      {"decode $S/es-odd-size-178x146.m2v --scale half -o -", 0, "89x146 8", ""},
      {"decode $S/es-odd-size-178x146.m2v --scale quarter -o -", 0, "89x73 8", ""},
      {"decode $S/es-field-pictures-tff.m2v --scale quarter -o -", 0, "88x72 12", ""},
      {"decode $S/es-field-pictures-tff.m2v --scale half -o -", 0, "88x144 12", ""},
      {"decode $S/es-long-gop.m2v --start 100 --count 30 -o -", 0, "176x144 20", ""},
      {"decode $S/es-long-gop.m2v --frame-list 7,3,0 -o -", 0, "176x144 3", ""},
      {"decode $S/es-long-gop.m2v --frame-list 3,120 -o -", 2, "-", "frame 120 is outside"},
      {"decode $S/es-cut-both-ends.m2v -o -", 1, "176x144 20", "warning: frame 18: decoding failed (result -3)"},
      {"decode $S/es-cut-both-ends.m2v -o -", 1, "176x144 20", "20 frames written, 1 of the pictures decoded failed"},
      {"decode $S/es-cut-both-ends.m2v --strict -o out.y4m", 1, "176x144 18", "frame 18"},
      {"decode $S/es-cut-both-ends.m2v --null", 1, "-", "20 frames decoded, 1 of the pictures decoded failed"},
      {"frame $S/es-odd-size-350x286.m2v 5 -o f.png", 0, "350x286", ""},
      {"frame $S/es-odd-size-350x286.m2v 5 --scale quarter -o f.yuv", 0, std::to_string(175 * 143 + 2 * 88 * 72), ""},
      {"frame $S/es-odd-size-350x286.m2v 8 -o none.png", 2, "0x0", ""},  // of 0..7
      {"thumbs $S/es-long-gop.m2v --count 5 --columns 2 -o s.png", 0, "188x232", ""},  // 2 x 3 cells of 88x72
      {"", 2, "-", "no command given"},
      {"transcode x", 2, "-", "transcode"},
      {"--help", 0, "-", "usage: quarlin"},
      {"info no-clip.m2v", 1, "-", "quarlin: no-clip.m2v: cannot open the file: No such file or directory (result -3)"},
      {"info --seek-data no.seek $S/es-ip-only.m2v", 1, "-", "no.seek: cannot open"},
  };
  for (const auto& c : cases) {
    const ToolRun result = run(c.arguments);
    EXPECT_EQ(result.status, c.status) << c.arguments << ": " << result.err;
    EXPECT_EQ(outputOf(c.arguments, result.out), c.output) << c.arguments;
    EXPECT_NE((result.out + result.err).find(c.words), std::string::npos) << c.arguments << ": " << result.err;
  }
}

}  // namespace
}  // namespace quarlin::tool
