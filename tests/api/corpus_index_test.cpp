// Every corpus stream is recognised or refused with its documented code, and
// the index of every decodable stream agrees with FFmpeg's view of the file
// and does not depend on where its slices fall.
#include <gtest/gtest.h>

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
// stream the library reads.
std::string ffprobePictureTypes(const test::CorpusStream& s) {
  const std::string lines = runCommand("ffprobe -v error -select_streams '" + s.stream +
                                       "' -show_entries frame=pict_type -of csv=p=0 '" + s.path() + "' 2>/dev/null");
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
  const std::string probed = ffprobePictureTypes(s);
  ASSERT_FALSE(probed.empty()) << "ffprobe gave no frames for " << s.file;
  std::string types;
  for (const SeekDataEntry& e : seekDataEntries(f.seekData())) {
    EXPECT_EQ(e.number, static_cast<int32_t>(types.size())) << "frame numbers run 0 .. count - 1";
    types.push_back(e.type);
  }
  EXPECT_EQ(static_cast<size_t>(info.frameCount), types.size());
  // From the first I-frame on, the frames are FFmpeg's. Before it FFmpeg
  // may show pictures coded before the first I-picture, which are not
  // indexed; the index may hold the leading B-frames of the first group,
  // which FFmpeg may drop.
  const size_t ours = types.find('I'), theirs = probed.find('I');
  ASSERT_NE(ours, std::string::npos);
  EXPECT_EQ(types.find_first_not_of('B'), ours);
  EXPECT_EQ(types.substr(ours), probed.substr(theirs));
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
      // An I-frame depends on nothing before it, but for a field pair whose
      // P field predicts from the previous frame.
      EXPECT_EQ(backward, -1);
      EXPECT_TRUE(forward == -1 || forward < n) << "I frame " << n;
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

// An I/P field frame depends on the previous reference frame exactly when
// its P field predicts from it (the encoder's own account of each frame).
TEST(FieldFrames, IntraFramesDependOnWhatTheirPFieldReads) {
  const struct {
    const char* file;
    int32_t frame, forward;
  } cases[] = {
      {"es-field-ip-backref.m2v", 0, -1}, {"es-field-ip-backref.m2v", 9, 6},   {"es-field-ip-backref.m2v", 16, -1},
      {"es-field-ip-backref.m2v", 25, 22}, {"es-field-ip-backref.m2v", 31, 28}, {"es-mixed-frame-field.m2v", 12, -1},
      {"es-mixed-frame-field.m2v", 19, -1}, {"es-mixed-dual-prime.m2v", 8, -1},
  };
  for (const auto& c : cases) {
    ExportedSession f(streamPath(c.file));
    ASSERT_EQ(f.indexResult(), 0) << c.file;
    int32_t forward = 0, backward = 0;
    ASSERT_EQ(Quarlin_GetFrameDependancies(f.handle(), c.frame, &forward, &backward), 0);
    EXPECT_EQ(forward, c.forward) << c.file << " frame " << c.frame;
    EXPECT_EQ(backward, -1) << c.file << " frame " << c.frame;
  }
}

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
