// Seek data reopens a file without indexing it and gives the same answers;
// a block cut short is not used and the file is indexed instead.
#include <gtest/gtest.h>

#include "tests/support/corpus.h"
#include "tests/support/exported_session.h"
#include "tests/support/test_host.h"

namespace quarlin::test {
namespace {

// Everything the exports answer about an indexed file.
std::vector<int32_t> answers(DecoderSession* s) {
  FileInfo info{};
  std::vector<int32_t> out(4, -7);
  out.push_back(Quarlin_GetFileInfo(s, &info));
  out.insert(out.end(), {static_cast<int32_t>(info.width), static_cast<int32_t>(info.height),
                         static_cast<int32_t>(info.frameCount), static_cast<int32_t>(info.stride),
                         static_cast<int32_t>(info.progressive), static_cast<int32_t>(info.displayWidth),
                         static_cast<int32_t>(info.displayHeight)});
  Quarlin_GetStartFrameOffset(s, &out[0], &out[1]);
  Quarlin_GetFrameSizes(s, &out[2], &out[3]);
  for (int32_t n = 0; n < static_cast<int32_t>(info.frameCount) + 2; ++n) {
    int32_t forward = 0, backward = 0;
    out.push_back(Quarlin_GetFrameDependancies(s, n, &forward, &backward));
    out.insert(out.end(), {forward, backward});
  }
  return out;
}

class SeekDataRoundTrip : public testing::TestWithParam<CorpusStream> {};

TEST_P(SeekDataRoundTrip, ReopensWithTheSameAnswersAndBytes) {
  ExportedSession first(GetParam().path());
  ASSERT_EQ(first.indexResult(), 0);
  const std::vector<uint8_t> seek = first.seekData();
  // Stream part, index header, 32-byte entries, then the coding states
  // (a count and 260 bytes each).
  const size_t entriesEnd = 24u + 16u + 32u * seekDataEntries(seek).size();
  ASSERT_GE(seek.size(), entriesEnd + 4);
  EXPECT_EQ((seek.size() - entriesEnd - 4) % 260, 0u);

  const int64_t allocationsBefore = testHostAllocateCount();
  ExportedSession second(GetParam().path(), seek);
  const int64_t allocations = testHostAllocateCount() - allocationsBefore;
  ASSERT_EQ(second.openResult(), 0);
  // The unit buffer and the first file block or two: the file is read only
  // up to its first sequence header and first picture.
  EXPECT_LE(allocations, 3);
  EXPECT_EQ(second.seekData(), seek);
  EXPECT_EQ(answers(second.handle()), answers(first.handle()));
}

TEST_P(SeekDataRoundTrip, ShortOrTruncatedBlocksFallBackToIndexing) {
  const std::vector<uint8_t> seek = ExportedSession(GetParam().path()).seekData();
  for (size_t length : {size_t{39}, seek.size() - 1}) {
    ExportedSession f(GetParam().path(), std::vector<uint8_t>(seek.begin(), seek.begin() + length));
    ASSERT_EQ(f.indexResult(), 0) << "length " << length;
    EXPECT_EQ(f.seekData(), seek) << "length " << length;
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, SeekDataRoundTrip, testing::ValuesIn(decodableStreams()), CorpusTestName());

}  // namespace
}  // namespace quarlin::test
