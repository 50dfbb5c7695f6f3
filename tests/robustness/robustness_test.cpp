// Hostile input through the ten exports that the fuzz targets cannot reach
// (their inputs stop at 64 KiB, and they open only files): pictures longer
// than the unit buffer in each container, and paths that name no readable
// stream. Damaged streams and seek data are the fuzz targets' work; their
// corpus (seeds and every reproducer) is replayed in CI.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/robustness/session_exerciser.h"
#include "tests/support/corpus.h"
#include "tests/support/stream_writer.h"
#include "tests/support/test_host.h"

namespace quarlin::robust {
namespace {

// `es` with picture `picture` (in coding order) grown by a slice of `bytes`
// filler bytes before the next start code after it: past the 750000-byte
// unit every part of the library reads.
test::Bytes withOversizedPicture(const test::Bytes& es, int picture, size_t bytes) {
  int seen = -1;
  for (size_t i = 0; i + 4 <= es.size(); ++i) {
    if (es[i] != 0 || es[i + 1] != 0 || es[i + 2] != 1) continue;
    if (seen == picture && es[i + 3] != 0xB5 && es[i + 3] != 0xB2) {
      test::Bytes out(es.begin(), es.begin() + static_cast<std::ptrdiff_t>(i));
      test::append(out, test::slice(0, static_cast<int>(bytes)));
      out.insert(out.end(), es.begin() + static_cast<std::ptrdiff_t>(i), es.end());
      return out;
    }
    if (es[i + 3] == 0x00) ++seen;
  }
  return es;
}

// A picture grown past the unit, in each container: early pictures fail the
// open's first index pass, later ones (after the open's three I-pictures) an
// IndexFile call. The unit is abandoned near its capacity, and whatever the
// library makes of the rest, every promise holds.
TEST(OversizedPictures, KeepThePromisesInEveryContainer) {
  const test::Bytes original = test::readFileBytes(test::streamPath("es-closed-gop.m2v"));
  const struct {
    char container;  // e, p or t
    int picture;     // in coding order
    size_t bytes;
  } cases[] = {{'e', 2, 736000}, {'e', 2, 800000}, {'e', 20, 800000}, {'p', 2, 800000},
               {'p', 20, 800000}, {'t', 2, 800000}, {'t', 20, 800000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.container << ", picture " << c.picture << " grown " << c.bytes);
    const test::Bytes es = withOversizedPicture(original, c.picture, c.bytes);
    ASSERT_GE(es.size(), original.size() + c.bytes);
    const test::Bytes file = c.container == 'p'   ? test::inProgramStream(es, 2000)
                             : c.container == 't' ? test::inTransportStream(es)
                                                  : es;
    TempFile temp(test::memoryFolder(), file);
    const ExerciseReport report = exerciseFile(temp.u16path(), ExerciseOptions{});
    EXPECT_TRUE(report.problems.empty()) << report.summary();
  }
}

// Paths that name no readable stream, a named pipe among them (an open(2)
// for reading would block until a writer appears): the open refuses them
// with -3 and keeps no host memory.
TEST(UnusablePaths, AreRefusedWithMinusThree) {
  const std::string folder = test::memoryFolder() + "/quarlin-robust";
  std::filesystem::create_directories(folder + "/a-directory.m2v");
  const std::string pipe = folder + "/named-pipe.m2v";
  std::filesystem::remove(pipe);
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  TempFile empty(folder, {});
  TempFile sevenBytes(folder, {0x00, 0x00, 0x01, 0xB3, 0x16, 0x01, 0x20});
  const std::string paths[] = {folder + "/does-not-exist.m2v", folder + "/a-directory.m2v", "/dev/null",
                               empty.path(), sevenBytes.path(), pipe, ""};
  for (const std::string& path : paths) {
    const ExerciseReport report = exerciseFile(u16(path).c_str(), ExerciseOptions{});
    EXPECT_TRUE(report.problems.empty() && report.openResult == -3) << path << ": " << report.summary();
  }
  std::filesystem::remove(pipe);
}

}  // namespace
}  // namespace quarlin::robust
