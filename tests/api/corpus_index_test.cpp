// Every corpus stream is recognised or refused with its documented code, and
// the index of every decodable stream agrees with FFmpeg's view of the file.
#include <gtest/gtest.h>

#include <climits>
#include <map>

#include "api/decoder_session.h"
#include "corpus.h"
#include "tests/support/test_host.h"

namespace quarlin::test {
namespace {

std::string testName(const testing::TestParamInfo<CorpusStream>& info) {
  std::string name;
  for (char c : info.param.file) name.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
  return name;
}

class DecodableStream : public testing::TestWithParam<CorpusStream> {};

TEST_P(DecodableStream, FrameCountAndTypesMatchFfprobe) {
  const CorpusStream& s = GetParam();
  IndexedFile f(s.path());
  ASSERT_TRUE(f.openResult == 0 || f.openResult == -4) << f.openResult;
  ASSERT_EQ(f.indexResult, 0);
  FileInfo info{};
  ASSERT_EQ(Quarlin_GetFileInfo(f.session, &info), 0);
  const std::string probed = ffprobePictureTypes(s.path());
  ASSERT_FALSE(probed.empty()) << "ffprobe gave no frames for " << s.file;
  const std::vector<uint8_t> seek = f.seekData();
  const std::string types = pictureTypesOf(seek);
  // Display numbers run 0..n-1; a picture lost at the end of a cut file
  // leaves a gap, and the frame count stops before it.
  const std::vector<int32_t> numbers = displayNumbersOf(seek);
  size_t contiguous = 0;
  while (contiguous < numbers.size() && numbers[contiguous] == static_cast<int32_t>(contiguous)) ++contiguous;
  if (s.file.find("truncated") == std::string::npos) {
    EXPECT_EQ(contiguous, numbers.size());
  }
  EXPECT_EQ(static_cast<size_t>(info.frameCount), contiguous);
  // Pictures coded before the first I-picture of a stream that starts in
  // the middle of a group are not indexed: FFmpeg shows them, and there
  // must be no I-picture among them.
  const size_t skipped = probed.size() >= types.size() ? probed.size() - types.size() : 0;
  if (s.file.find("mid-gop") == std::string::npos) {
    EXPECT_EQ(skipped, 0u);
  }
  EXPECT_EQ(probed.substr(0, skipped).find('I'), std::string::npos);
  EXPECT_EQ(types, probed.substr(skipped));
}

TEST_P(DecodableStream, ReferencesPointAtIndexedAnchors) {
  IndexedFile f(GetParam().path());
  ASSERT_EQ(f.indexResult, 0);
  const std::vector<uint8_t> seek = f.seekData();
  const std::string typeList = pictureTypesOf(seek);
  const std::vector<int32_t> numbers = displayNumbersOf(seek);
  std::map<int32_t, char> types;
  for (size_t i = 0; i < numbers.size(); ++i) types[numbers[i]] = typeList[i];
  for (const auto& [n, type] : types) {
    int32_t forward = 0, backward = 0;
    ASSERT_EQ(Quarlin_GetFrameDependancies(f.session, n, &forward, &backward), 0);
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
  EXPECT_EQ(Quarlin_GetFrameDependancies(f.session, types.rbegin()->first + 1, &forward, &backward), -5);
  EXPECT_EQ(forward, -1);
  EXPECT_EQ(backward, -1);
}

// The index does not depend on where its slices fall.
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
  const std::vector<uint8_t> unlimited = indexWith(INT_MAX);
  EXPECT_EQ(indexWith(1), unlimited);
  EXPECT_EQ(indexWith(kIndexFileScanBudget), unlimited);
}

INSTANTIATE_TEST_SUITE_P(Corpus, DecodableStream, testing::ValuesIn(decodableStreams()), testName);

class RefusedStream : public testing::TestWithParam<CorpusStream> {};

TEST_P(RefusedStream, GivesItsCodeAndNoHandle) {
  const CorpusStream& s = GetParam();
  const int32_t expected = s.expect == "refuse-2" ? -2 : -3;
  const std::u16string path = u16(s.path());
  auto* const sentinel = reinterpret_cast<DecoderSession*>(0x1234);
  DecoderSession* session = sentinel;
  const int64_t live = testHostLiveAllocations();
  EXPECT_EQ(Quarlin_OpenFile(reinterpret_cast<const uint16_t*>(path.c_str()), &testHostServices(), nullptr, 0,
                             &session),
            expected);
  EXPECT_EQ(session, sentinel);
  EXPECT_EQ(testHostLiveAllocations(), live) << "the refused open left host memory behind";
}

std::vector<CorpusStream> refusedStreams() {
  std::vector<CorpusStream> out;
  for (const CorpusStream& s : corpus())
    if (!s.decodable()) out.push_back(s);
  return out;
}

INSTANTIATE_TEST_SUITE_P(Corpus, RefusedStream, testing::ValuesIn(refusedStreams()), testName);

TEST(MissingFile, IsRefusedWithoutHandle) {
  const std::u16string path = u16(std::string(QUARLIN_TEST_DATA) + "/streams/no-such-file.m2v");
  DecoderSession* session = nullptr;
  EXPECT_EQ(Quarlin_OpenFile(reinterpret_cast<const uint16_t*>(path.c_str()), &testHostServices(), nullptr, 0,
                             &session),
            -3);
  EXPECT_EQ(session, nullptr);
}

}  // namespace
}  // namespace quarlin::test
