// Seek data reopens a file without indexing it and gives the same answers.
#include <gtest/gtest.h>

#include "corpus.h"
#include "tests/support/test_host.h"

namespace quarlin::test {
namespace {

struct Answers {
  FileInfo info{};
  int32_t start[2] = {-7, -7};
  int32_t sizes[2] = {0, 0};
  std::vector<int32_t> references;

  explicit Answers(DecoderSession* s) {
    Quarlin_GetFileInfo(s, &info);
    Quarlin_GetStartFrameOffset(s, &start[0], &start[1]);
    Quarlin_GetFrameSizes(s, &sizes[0], &sizes[1]);
    for (int32_t n = 0; n < static_cast<int32_t>(info.frameCount) + 2; ++n) {
      int32_t forward = 0, backward = 0;
      references.push_back(Quarlin_GetFrameDependancies(s, n, &forward, &backward));
      references.push_back(forward);
      references.push_back(backward);
    }
  }
  bool operator==(const Answers& o) const {
    return info.width == o.info.width && info.height == o.info.height && info.frameCount == o.info.frameCount &&
           info.stride == o.info.stride && info.progressive == o.info.progressive &&
           info.displayWidth == o.info.displayWidth && info.displayHeight == o.info.displayHeight &&
           start[0] == o.start[0] && start[1] == o.start[1] && sizes[0] == o.sizes[0] &&
           sizes[1] == o.sizes[1] && references == o.references;
  }
};

class SeekDataRoundTrip : public testing::TestWithParam<CorpusStream> {};

TEST_P(SeekDataRoundTrip, ReopensWithTheSameAnswersAndBytes) {
  IndexedFile first(GetParam().path());
  ASSERT_EQ(first.indexResult, 0);
  const std::vector<uint8_t> seek = first.seekData();
  ASSERT_EQ(seek.size(), 24u + 16u + 32u * pictureTypesOf(seek).size());

  const int64_t allocationsBefore = testHostAllocateCount();
  IndexedFile second(GetParam().path(), seek.data(), static_cast<int32_t>(seek.size()));
  const int64_t allocations = testHostAllocateCount() - allocationsBefore;
  ASSERT_EQ(second.openResult, 0);
  // The unit buffer and the first file block or two: the file is read only
  // up to its first sequence header and first picture.
  EXPECT_LE(allocations, 3);
  EXPECT_EQ(second.seekData(), seek);
  EXPECT_TRUE(Answers(first.session) == Answers(second.session));
}

TEST_P(SeekDataRoundTrip, ShortOrTruncatedBlocksFallBackToIndexing) {
  IndexedFile reference(GetParam().path());
  const std::vector<uint8_t> seek = reference.seekData();
  for (size_t length : {size_t{0}, size_t{39}, seek.size() - 1}) {
    IndexedFile f(GetParam().path(), seek.data(), static_cast<int32_t>(length));
    ASSERT_EQ(f.indexResult, 0) << "length " << length;
    EXPECT_EQ(f.seekData(), seek) << "length " << length;
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, SeekDataRoundTrip, testing::ValuesIn(decodableStreams()),
                         [](const testing::TestParamInfo<CorpusStream>& info) {
                           std::string name;
                           for (char c : info.param.file) name.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
                           return name;
                         });

}  // namespace
}  // namespace quarlin::test
