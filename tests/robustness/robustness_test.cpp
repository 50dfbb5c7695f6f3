// Damaged and hostile input through the ten exports: every corpus stream is
// mutated in seeded, repeatable ways (bit flips anywhere and inside headers,
// truncation, zeroed ranges, duplicated and deleted packets or pictures,
// inserted garbage, rewritten picture sizes and coding-extension fields), and
// every mutant is opened, indexed, queried and decoded frame by frame at all
// three scales, then reopened with its seek data. Seek data is damaged the
// same way against the undamaged files; pictures larger than the unit buffer
// and the committed regression inputs go through the same checks.
//
// Environment (for soak runs; CI uses the defaults):
//   QUARLIN_ROBUST_MUTANTS   mutants per stream (default 6)
//   QUARLIN_ROBUST_SEEK      damaged seek-data blocks per stream (default 3)
//   QUARLIN_ROBUST_SEED      added to every seed, for fresh mutants
//   QUARLIN_ROBUST_FAILURES  folder that keeps each failing input
//                            (default /tmp/quarlin-robust-failures)
//   QUARLIN_ROBUST_VERBOSE   print what every input came to
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/robustness/mutations.h"
#include "tests/robustness/session_exerciser.h"
#include "tests/robustness/watchdog.h"
#include "tests/support/exported_session.h"
#include "tests/support/temp_file.h"
#include "tests/support/test_host.h"

namespace quarlin::robust {
namespace {

constexpr int32_t kWatchdogSeconds = 120;

int32_t environmentCount(const char* name, int32_t fallback) {
  const char* value = std::getenv(name);
  return value && *value ? std::atoi(value) : fallback;
}

uint64_t seedBase() { return static_cast<uint64_t>(environmentCount("QUARLIN_ROBUST_SEED", 0)); }

std::string failureFolder() {
  const char* value = std::getenv("QUARLIN_ROBUST_FAILURES");
  return value && *value ? value : "/tmp/quarlin-robust-failures";
}

// tmpfs when there is one: mutants are written and removed by the thousand.
std::string scratchFolder() {
  return std::filesystem::is_directory("/dev/shm") ? "/dev/shm/quarlin-robust" : "/tmp/quarlin-robust";
}

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The input under test, kept in the failure folder while it runs: a crash,
// a sanitizer report or a watchdog abort leaves it there for reproduction;
// a run that keeps every promise removes it again.
class KeptInput {
 public:
  KeptInput(const std::string& name, const std::vector<uint8_t>& bytes)
      : path_(failureFolder() + "/" + name) {
    std::filesystem::create_directories(failureFolder());
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  ~KeptInput() {
    if (keep_) return;
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  void keep() { keep_ = true; }

 private:
  std::string path_;
  bool keep_ = false;
};

struct Stream {
  std::string file;
  Container container = Container::Other;
  std::string expect;  // decodable, refuse-2, refuse-3
  std::string path() const { return std::string(QUARLIN_TEST_DATA) + "/streams/" + file; }
};

// Test names show the file, not the record's bytes.
void PrintTo(const Stream& stream, std::ostream* out) { *out << stream.file; }

std::vector<Stream> corpusStreams(bool decodableOnly) {
  std::vector<Stream> streams;
  std::ifstream in(std::string(QUARLIN_TEST_DATA) + "/corpus.tsv");
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    Stream s;
    std::string container;
    if (!std::getline(fields, s.file, '\t') || !std::getline(fields, container, '\t') ||
        !std::getline(fields, s.expect, '\t'))
      continue;
    s.container = container == "es"   ? Container::Elementary
                  : container == "ps" ? Container::Program
                  : container == "ts" ? Container::Transport
                                      : Container::Other;
    if (!decodableOnly || s.expect == "decodable") streams.push_back(s);
  }
  return streams;
}

std::string testName(const testing::TestParamInfo<Stream>& info) {
  std::string name;
  for (char c : info.param.file) name.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
  return name;
}

// Exercises `bytes` as a file under the watchdog; the input is kept when a
// promise breaks.
ExerciseReport exerciseBytes(Watchdog& watchdog, const std::vector<uint8_t>& bytes, const std::string& label,
                             const std::string& saveAs, const ExerciseOptions& options) {
  TempFile file(scratchFolder(), bytes);
  KeptInput kept(saveAs, bytes);
  watchdog.arm(label, kWatchdogSeconds);
  ExerciseReport report = exerciseFile(file.u16path(), options);
  watchdog.disarm();
  if (!report.problems.empty()) kept.keep();
  return report;
}

// Every promise held; with QUARLIN_ROBUST_VERBOSE, what the input came to.
void expectPromisesKept(const std::string& label, const ExerciseReport& report) {
  EXPECT_TRUE(report.problems.empty()) << label << ": " << report.summary();
  if (std::getenv("QUARLIN_ROBUST_VERBOSE")) std::printf("%s: %s\n", label.c_str(), report.summary().c_str());
}

class DamagedStreams : public testing::TestWithParam<Stream> {};

// The undamaged file first: its open result is the catalogued one.
TEST_P(DamagedStreams, UndamagedFileKeepsThePromises) {
  const Stream& stream = GetParam();
  Watchdog watchdog;
  const ExerciseReport report =
      exerciseBytes(watchdog, readFile(stream.path()), stream.file, stream.file, ExerciseOptions{});
  expectPromisesKept(stream.file, report);
  if (stream.expect == "decodable") {
    EXPECT_EQ(report.indexResult, 0) << report.summary();
    EXPECT_GT(report.framesDecoded, 0) << report.summary();
  } else {
    EXPECT_EQ(report.openResult, stream.expect == "refuse-2" ? -2 : -3) << report.summary();
  }
}

TEST_P(DamagedStreams, EveryMutantKeepsThePromises) {
  const Stream& stream = GetParam();
  const std::vector<uint8_t> original = readFile(stream.path());
  const int32_t mutants = environmentCount("QUARLIN_ROBUST_MUTANTS", 6);
  const uint64_t streamSeed = nameHash(stream.file);
  const auto kinds = static_cast<uint64_t>(MutationKind::Count);
  Watchdog watchdog;
  for (int32_t i = 0; i < mutants; ++i) {
    const uint64_t seed = streamSeed + seedBase() * 1000003 + static_cast<uint64_t>(i);
    // Kinds rotate from a per-stream start, so a short run covers them all
    // across the corpus.
    const auto kind = static_cast<MutationKind>((streamSeed + seedBase() + static_cast<uint64_t>(i)) % kinds);
    const Mutant mutant = makeMutant(original, stream.container, kind, seed);
    const std::string label = stream.file + " mutant seed " + std::to_string(seed) + " (" + mutant.description + ")";
    const ExerciseReport report =
        exerciseBytes(watchdog, mutant.bytes, label, stream.file + ".seed" + std::to_string(seed), ExerciseOptions{});
    expectPromisesKept(label, report);
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, DamagedStreams, testing::ValuesIn(corpusStreams(false)), testName);

// Truncation at many points of one stream per container (and the field
// pictures): evenly spread cuts, and cuts inside the headers that follow
// start codes, where a parser has read the code but not its fields.
class TruncatedStreams : public testing::TestWithParam<Stream> {};

TEST_P(TruncatedStreams, EveryCutKeepsThePromises) {
  const Stream& stream = GetParam();
  const std::vector<uint8_t> original = readFile(stream.path());
  ASSERT_FALSE(original.empty());
  std::vector<size_t> cuts;
  constexpr size_t kEven = 12;
  for (size_t i = 1; i <= kEven; ++i) cuts.push_back(original.size() * i / (kEven + 1));
  const std::vector<size_t> codes = startCodeOffsets(original, [](uint8_t) { return true; });
  Random random(nameHash(stream.file) + seedBase());
  for (int i = 0; i < 8 && !codes.empty(); ++i) cuts.push_back(codes[random.below(codes.size())] + random.below(12));
  Watchdog watchdog;
  for (size_t cut : cuts) {
    if (cut >= original.size()) continue;
    const std::vector<uint8_t> bytes(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(cut));
    const std::string label = stream.file + " cut at " + std::to_string(cut);
    const ExerciseReport report =
        exerciseBytes(watchdog, bytes, label, stream.file + ".cut" + std::to_string(cut), ExerciseOptions{});
    expectPromisesKept(label, report);
  }
}

std::vector<Stream> truncationStreams() {
  std::vector<Stream> chosen;
  for (const Stream& s : corpusStreams(true))
    if (s.file == "es-open-gop.m2v" || s.file == "es-field-pictures-tff.m2v" || s.file == "ps-vob-mp2.vob" ||
        s.file == "ts-mp2-audio.ts")
      chosen.push_back(s);
  return chosen;
}

INSTANTIATE_TEST_SUITE_P(Corpus, TruncatedStreams, testing::ValuesIn(truncationStreams()), testName);

class DamagedSeekData : public testing::TestWithParam<Stream> {};

// The undamaged file with a damaged copy of its own seek data: the open
// either restores a (strange) index or falls back to indexing.
TEST_P(DamagedSeekData, EveryBlockKeepsThePromises) {
  const Stream& stream = GetParam();
  TempFile file(scratchFolder(), readFile(stream.path()));
  const std::vector<uint8_t> block = test::ExportedSession(file.path()).seekData();
  ASSERT_GE(block.size(), 40u) << stream.file;
  ExerciseOptions options;
  options.decode = everyFrame(1);
  Watchdog watchdog;
  const int32_t blocks = environmentCount("QUARLIN_ROBUST_SEEK", 3);
  for (int32_t i = 0; i < blocks; ++i) {
    const uint64_t seed = nameHash(stream.file) * 31 + seedBase() * 1000003 + static_cast<uint64_t>(i);
    Random random(seed);
    std::vector<uint8_t> damaged = block;
    std::string description = mutateSeekData(damaged, random);
    if (random.chance(30)) description += "; " + mutateSeekData(damaged, random);
    const std::string label = stream.file + " seek data seed " + std::to_string(seed) + " (" + description + ")";
    KeptInput kept(stream.file + ".seek" + std::to_string(seed), damaged);
    watchdog.arm(label, kWatchdogSeconds);
    const ExerciseReport report = exerciseFile(file.u16path(), options, &damaged);
    watchdog.disarm();
    if (!report.problems.empty()) kept.keep();
    expectPromisesKept(label, report);
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, DamagedSeekData, testing::ValuesIn(corpusStreams(true)), testName);

// A picture longer than the unit buffer (750000 bytes) in each container:
// the unit is abandoned near its capacity, and whatever the library makes
// of the rest, every promise holds.
struct Oversized {
  const char* file;
  Container container;
  size_t picture;  // in file order
  size_t bytes;
};

class OversizedPictures : public testing::TestWithParam<Oversized> {};

TEST_P(OversizedPictures, KeepThePromises) {
  const Oversized& c = GetParam();
  const std::vector<uint8_t> original = readFile(std::string(QUARLIN_TEST_DATA) + "/streams/" + c.file);
  const std::vector<uint8_t> bytes = withOversizedPicture(original, c.container, c.picture, c.bytes, 99);
  ASSERT_GT(bytes.size(), original.size() + c.bytes - 1);
  Watchdog watchdog;
  ExerciseOptions options;
  options.decode = everyFrame(1);
  const ExerciseReport report = exerciseBytes(watchdog, bytes, std::string(c.file) + " with an oversized picture",
                                              std::string(c.file) + ".oversized", options);
  expectPromisesKept(std::string(c.file) + " with an oversized picture", report);
}

INSTANTIATE_TEST_SUITE_P(
    Containers, OversizedPictures,
    // Early pictures fail the open's first index pass; later ones (after
    // the open's three I-pictures) fail an IndexFile call.
    testing::Values(Oversized{"es-closed-gop.m2v", Container::Elementary, 2, 736000},
                    Oversized{"es-closed-gop.m2v", Container::Elementary, 2, 800000},
                    Oversized{"es-intra-only.m2v", Container::Elementary, 6, 800000},
                    Oversized{"ps-vob-mp2.vob", Container::Program, 2, 800000},
                    Oversized{"ps-dvd-ac3-mp2.vob", Container::Program, 20, 800000},
                    Oversized{"ts-mp2-audio.ts", Container::Transport, 2, 800000},
                    Oversized{"ts-mp2-audio.ts", Container::Transport, 20, 800000}),
    [](const testing::TestParamInfo<Oversized>& info) {
      const std::string kind = info.param.container == Container::Elementary ? "Elementary"
                               : info.param.container == Container::Program  ? "Program"
                                                                              : "Transport";
      return kind + "Picture" + std::to_string(info.param.picture) + "Grown" + std::to_string(info.param.bytes);
    });

// Paths that name no readable stream: the open refuses them with -3 and
// keeps no host memory.
TEST(UnusablePaths, AreRefusedWithMinusThree) {
  const std::string folder = scratchFolder() + "/unusable";
  std::filesystem::create_directories(folder + "/a-directory.m2v");
  TempFile empty(folder, {});
  TempFile sevenBytes(folder, {0x00, 0x00, 0x01, 0xB3, 0x16, 0x01, 0x20});
  const std::vector<std::string> paths = {folder + "/does-not-exist.m2v", folder + "/a-directory.m2v", "/dev/null",
                                          empty.path(), sevenBytes.path(), ""};
  Watchdog watchdog;
  for (const std::string& path : paths) {
    watchdog.arm("opening '" + path + "'", kWatchdogSeconds);
    const ExerciseReport report = exerciseFile(u16(path).c_str(), ExerciseOptions{});
    watchdog.disarm();
    expectPromisesKept(path, report);
    EXPECT_EQ(report.openResult, -3) << path;
  }
}

// A named pipe blocks an open(2) for reading until a writer appears: the
// library must refuse it without opening it.
TEST(UnusablePaths, ANamedPipeIsRefusedWithoutBlocking) {
  const std::string path = scratchFolder() + "/named-pipe.m2v";
  std::filesystem::remove(path);
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  Watchdog watchdog;
  watchdog.arm("opening a named pipe", 10);
  const ExerciseReport report = exerciseFile(u16(path).c_str(), ExerciseOptions{});
  watchdog.disarm();
  std::filesystem::remove(path);
  expectPromisesKept(path, report);
  EXPECT_EQ(report.openResult, -3);
}

// Inputs that once broke a promise, kept in regressions/: a damaged stream
// (any name), or a damaged seek-data block "<corpus file>--<what>.seek" for
// that undamaged corpus file.
std::vector<std::string> regressionInputs() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(QUARLIN_ROBUST_REGRESSIONS))
    if (entry.is_regular_file() && entry.path().filename().string() != "README.md")
      names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// One test over the whole folder, so that an input added to it is run
// without the test list being rediscovered.
TEST(RegressionInputs, KeepThePromises) {
  const std::vector<std::string> names = regressionInputs();
  EXPECT_FALSE(names.empty());
  Watchdog watchdog;
  for (const std::string& name : names) {
    const std::vector<uint8_t> bytes = readFile(std::string(QUARLIN_ROBUST_REGRESSIONS) + "/" + name);
    watchdog.arm(name, kWatchdogSeconds);
    ExerciseReport report;
    if (name.ends_with(".seek")) {
      const std::string stream = name.substr(0, name.find("--"));
      TempFile file(scratchFolder(), readFile(std::string(QUARLIN_TEST_DATA) + "/streams/" + stream));
      report = exerciseFile(file.u16path(), ExerciseOptions{}, &bytes);
    } else {
      TempFile file(scratchFolder(), bytes);
      report = exerciseFile(file.u16path(), ExerciseOptions{});
    }
    watchdog.disarm();
    expectPromisesKept(name, report);
  }
}

}  // namespace
}  // namespace quarlin::robust
