// libquarlin.so through its ten exports on the committed corpus: the index
// against FFmpeg's view of each file, sessions on two threads. (Seek data
// round trips are in tests/decode_dispatch/decode_routes_test.cpp.)
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "tests/support/command.h"
#include "tests/support/corpus.h"
#include "tests/support/exported_session.h"

namespace quarlin::test {
namespace {

TEST(ExportedSymbols, ExactlyTheTenExports) {
  std::istringstream table(commandOutput("nm -D --defined-only --format=posix '" QUARLIN_LIBRARY_PATH "'"));
  std::set<std::string> exported;
  for (std::string line; std::getline(table, line);) exported.insert(line.substr(0, line.find(' ')));
  const std::set<std::string> expected = {
      "Quarlin_OpenFile",    "Quarlin_IndexFile",           "Quarlin_CloseFile",     "Quarlin_GetFileInfo",
      "Quarlin_GetStartFrameOffset", "Quarlin_GetFrameSizes", "Quarlin_GetSeekData", "Quarlin_FreeSeekData",
      "Quarlin_GetFrameDependancies", "Quarlin_GetFrame"};
  EXPECT_EQ(exported, expected);
}

class DecodableStream : public testing::TestWithParam<CorpusStream> {};

// Frame numbers run 0 .. count - 1 and from the first I-frame on the types
// are ffprobe's. Before it FFmpeg may show pictures coded before the first
// I-picture, which are not indexed; the index may hold leading B-frames of
// the first group, which FFmpeg may drop.
TEST_P(DecodableStream, IndexAgreesWithFfprobe) {
  if (!onPath("ffprobe")) GTEST_SKIP() << "ffprobe is not installed";
  const CorpusStream& s = GetParam();
  ExportedSession f(s.path());
  ASSERT_EQ(f.indexResult(), 0);
  std::string probed, types;
  for (char c : commandOutput("ffprobe -v error -select_streams '" + s.stream +
                           "' -show_entries frame=pict_type -of csv=p=0 '" + s.path() + "' 2>/dev/null"))
    if (c == 'I' || c == 'P' || c == 'B') probed.push_back(c);
  ASSERT_FALSE(probed.empty()) << "ffprobe gave no frames";
  for (const SeekDataEntry& e : seekDataEntries(f.seekData())) {
    EXPECT_EQ(e.number, int32_t(types.size()));
    types.push_back(e.type);
  }
  FileInfo info{};
  ASSERT_EQ(Quarlin_GetFileInfo(f.handle(), &info), 0);
  EXPECT_EQ(size_t(info.frameCount), types.size());
  const size_t ours = types.find('I');
  ASSERT_NE(ours, std::string::npos);
  EXPECT_EQ(types.find_first_not_of('B'), ours);
  EXPECT_EQ(types.substr(ours), probed.substr(probed.find('I')));
  // References are anchors; an I-frame has no backward one (its forward one
  // is for a P field predicting from the previous frame). An I/P field frame
  // depends on the previous reference frame exactly when its P field
  // predicts from it (the encoder's own account of these frames).
  const std::map<std::string, std::map<int32_t, int32_t>> kFieldFrames = {
      {"es-field-ip-backref.m2v", {{0, -1}, {9, 6}, {16, -1}, {25, 22}, {31, 28}}},
      {"es-mixed-frame-field.m2v", {{12, -1}, {19, -1}}},
      {"es-mixed-dual-prime.m2v", {{8, -1}}}};
  const auto fieldFrames = kFieldFrames.find(s.file);
  for (int32_t n = 0; n < int32_t(types.size()); ++n) {
    int32_t forward = 0, backward = 0;
    ASSERT_EQ(Quarlin_GetFrameDependancies(f.handle(), n, &forward, &backward), 0);
    if (fieldFrames != kFieldFrames.end() && fieldFrames->second.count(n)) {
      EXPECT_EQ(std::pair(forward, backward), std::pair(fieldFrames->second.at(n), -1)) << "field frame " << n;
    }
    for (int32_t ref : {forward, backward})
      EXPECT_TRUE(ref == -1 || (ref >= 0 && ref < int32_t(types.size()) && types[ref] != 'B')) << n << " -> " << ref;
    const bool ok = types[n] == 'I' ? backward == -1 && forward < n : types[n] == 'P' ? forward != -1 : backward != -1;
    EXPECT_TRUE(ok) << types[n] << " frame " << n << " refers to " << forward << ", " << backward;
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, DecodableStream, testing::ValuesIn(decodableStreams()), CorpusTestName());

TEST(ConcurrentSessions, TwoThreadsIndexLikeOne) {
  const std::vector<CorpusStream> streams = decodableStreams();
  std::vector<std::vector<uint8_t>> alone, together(streams.size());
  for (const CorpusStream& s : streams) alone.push_back(ExportedSession(s.path()).seekData());
  auto worker = [&](size_t first) {
    for (size_t i = first; i < streams.size(); i += 2) together[i] = ExportedSession(streams[i].path()).seekData();
  };
  std::thread a(worker, 0), b(worker, 1);
  a.join();
  b.join();
  for (size_t i = 0; i < streams.size(); ++i) EXPECT_EQ(together[i], alone[i]) << streams[i].file;
}

}  // namespace
}  // namespace quarlin::test
