// Every corpus stream is recognised or refused with its documented code, and
// the index of every decodable stream agrees with FFmpeg's view of the file
// and does not depend on where its slices fall.
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <map>

#include "api/decoder_session.h"
#include "tests/support/corpus.h"
#include "tests/support/exported_session.h"
#include "tests/support/test_host.h"

namespace quarlin::test {
namespace {

std::string runCommand(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  pclose(pipe);
  return out;
}

// Picture types (I, P, B) in display order, per ffprobe, of the video
// stream the library reads: in a transport stream that of the last program
// its PAT lists; elsewhere the first.
std::string ffprobePictureTypes(const std::string& path) {
  const std::string programs =
      runCommand("ffprobe -v error -show_entries program=program_id -of csv=p=0 '" + path + "' 2>/dev/null");
  std::string last, line;
  for (char c : programs + "\n") {
    if (c == '\n') {
      if (!line.empty()) last = line;
      line.clear();
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      line.push_back(c);
    }
  }
  const std::string stream = last.empty() ? "v:0" : "p:" + last + ":v:0";
  const std::string lines = runCommand("ffprobe -v error -select_streams " + stream +
                                       " -show_entries frame=pict_type -of csv=p=0 '" + path + "' 2>/dev/null");
  std::string types;
  for (char c : lines)
    if (c == 'I' || c == 'P' || c == 'B') types.push_back(c);
  return types;
}

class DecodableStream : public testing::TestWithParam<CorpusStream> {};

TEST_P(DecodableStream, FrameCountAndTypesMatchFfprobe) {
  const CorpusStream& s = GetParam();
  ExportedSession f(s.path());
  ASSERT_TRUE(f.openResult() == 0 || f.openResult() == -4) << f.openResult();
  ASSERT_EQ(f.indexResult(), 0);
  FileInfo info{};
  ASSERT_EQ(Quarlin_GetFileInfo(f.handle(), &info), 0);
  const std::string probed = ffprobePictureTypes(s.path());
  ASSERT_FALSE(probed.empty()) << "ffprobe gave no frames for " << s.file;
  std::string types;
  size_t contiguous = 0;
  for (const SeekDataEntry& e : seekDataEntries(f.seekData())) {
    types.push_back(e.type);
    if (e.number == static_cast<int32_t>(contiguous) && contiguous + 1 == types.size()) ++contiguous;
  }
  // Display numbers run 0..n-1; a picture lost at the end of a cut file
  // leaves a gap, and the frame count stops before it.
  if (!s.lastFrameMayFail()) {
    EXPECT_EQ(contiguous, types.size());
  }
  EXPECT_EQ(static_cast<size_t>(info.frameCount), contiguous);
  // Pictures coded before the first I-picture of a stream that starts in
  // the middle of a group are not indexed: FFmpeg shows them, and there
  // must be no I-picture among them.
  const size_t skipped = probed.size() >= types.size() ? probed.size() - types.size() : 0;
  if (s.file != "es-mid-gop-start.m2v") {
    EXPECT_EQ(skipped, 0u);
  }
  EXPECT_EQ(probed.substr(0, skipped).find('I'), std::string::npos);
  EXPECT_EQ(types, probed.substr(skipped));
}

TEST_P(DecodableStream, ReferencesPointAtIndexedAnchors) {
  ExportedSession f(GetParam().path());
  ASSERT_EQ(f.indexResult(), 0);
  std::map<int32_t, char> types;
  for (const SeekDataEntry& e : seekDataEntries(f.seekData())) types[e.number] = e.type;
  for (const auto& [n, type] : types) {
    int32_t forward = 0, backward = 0;
    ASSERT_EQ(Quarlin_GetFrameDependancies(f.handle(), n, &forward, &backward), 0);
    for (int32_t ref : {forward, backward}) {
      if (ref == -1) continue;
      ASSERT_TRUE(types.count(ref)) << "frame " << n << " refers to " << ref << ", which is not indexed";
      EXPECT_NE(types[ref], 'B') << "frame " << n << " refers to B frame " << ref;
    }
    if (type == 'I') {
      EXPECT_EQ(forward, -1);
    } else if (type == 'P') {
      EXPECT_NE(forward, -1) << "P frame " << n;
    } else {
      EXPECT_NE(backward, -1) << "B frame " << n;
    }
  }
  int32_t forward = 0, backward = 0;
  EXPECT_EQ(Quarlin_GetFrameDependancies(f.handle(), types.rbegin()->first + 1, &forward, &backward), -5);
  EXPECT_EQ(forward, -1);
  EXPECT_EQ(backward, -1);
}

// Slices of one I-picture each give the index of one slice to the end.
TEST_P(DecodableStream, IndexIndependentOfSliceBudget) {
  const std::u16string path = u16(GetParam().path());
  auto indexWith = [&](int32_t budget) {
    DecoderSession session(path.c_str(), testHostServices());
    const int32_t opened = session.open(nullptr, 0);
    EXPECT_TRUE(opened == 0 || opened == -4);
    float progress = 0;
    int32_t result = opened == -4 ? kScanBudgetUsed : 0;
    while (result == kScanBudgetUsed) result = session.indexSlice(budget, &progress);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(progress, opened == -4 ? 1.0f : 0.0f);
    std::vector<uint8_t> block(static_cast<size_t>(session.frameIndex.serialisedSize()));
    uint8_t* out = block.data();
    session.frameIndex.serialise(out);
    return block;
  };
  EXPECT_EQ(indexWith(1), indexWith(INT_MAX));
}

INSTANTIATE_TEST_SUITE_P(Corpus, DecodableStream, testing::ValuesIn(decodableStreams()), CorpusTestName());

class RefusedStream : public testing::TestWithParam<CorpusStream> {};

TEST_P(RefusedStream, GivesItsCodeAndNoHandle) {
  const std::u16string path = u16(GetParam().path());
  auto* const sentinel = reinterpret_cast<DecoderSession*>(0x1234);
  DecoderSession* session = sentinel;
  const int64_t live = testHostLiveAllocations();
  EXPECT_EQ(Quarlin_OpenFile(reinterpret_cast<const uint16_t*>(path.c_str()), &testHostServices(), nullptr, 0,
                             &session),
            GetParam().refusal());
  EXPECT_EQ(session, sentinel);
  EXPECT_EQ(testHostLiveAllocations(), live) << "the refused open left host memory behind";
}

INSTANTIATE_TEST_SUITE_P(Corpus, RefusedStream, testing::ValuesIn(refusedStreams()), CorpusTestName());

TEST(MissingFile, IsRefusedWithoutHandle) {
  const std::u16string path = u16(streamPath("no-such-file.m2v"));
  DecoderSession* session = nullptr;
  EXPECT_EQ(Quarlin_OpenFile(reinterpret_cast<const uint16_t*>(path.c_str()), &testHostServices(), nullptr, 0,
                             &session),
            -3);
  EXPECT_EQ(session, nullptr);
}

}  // namespace
}  // namespace quarlin::test
