// Decoding on the slice workers gives exactly the bytes of decoding on the
// calling thread, for every corpus stream at every scale; every frame picture
// whose rows can be decoded apart goes to the workers; and no decode writes
// outside the picture area of its scale.
#include <gtest/gtest.h>

#include <random>

#include "decode/slice_worker_pool.h"
#include "tests/support/temp_file.h"
#include "tests/decode_dispatch/dispatch_harness.h"

namespace quarlin::dispatchtest {
namespace {

// Pools to compare with sequential decoding: more workers than this
// machine's processors, with runs of unequal length, and more workers than a
// small picture has rows (runs of 0 slices). (How runs are cut for other
// counts, and that one worker means no dispatch, is checked on the
// partition itself.)
constexpr int32_t kWorkerCounts[] = {3, 16};

// Frame pictures whose rows can go to different workers: not those that
// predict from their own output planes (a leading B-picture whose forward
// reference precedes the file), whose rows depend on each other.
int64_t rowIndependentPictures(const std::map<int32_t, DecodedFrame>& frames) {
  int64_t count = 0;
  for (const auto& [number, frame] : frames)
    count += frame.result == 0 && !frame.fieldCoded && !frame.predictsFromOutput();
  return count;
}

// Streams whose pictures are not one slice per macroblock row; every other
// frame picture of the corpus is.
bool slicesStartMidRow(const std::string& file) { return file == "es-multi-slice-rows.m2v"; }

void expectSameFrames(const std::map<int32_t, DecodedFrame>& expected,
                      const std::map<int32_t, DecodedFrame>& actual, const std::string& what) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  for (const auto& [number, frame] : expected) {
    const DecodedFrame& other = actual.at(number);
    EXPECT_EQ(other.result, frame.result) << what << ", frame " << number;
    EXPECT_TRUE(other.picture == frame.picture)
        << what << ", frame " << number << ": " << firstDifference(frame.picture, other.picture);
  }
}

class ThreadedDecode : public testing::TestWithParam<CorpusStream> {};

TEST_P(ThreadedDecode, WorkersGiveTheSequentialBytes) {
  const CorpusStream& stream = GetParam();
  SliceWorkerPool& pool = SliceWorkerPool::instance();
  for (const Scale& scale : kAllScales) {
    const std::map<int32_t, DecodedFrame> sequential = decodeSequentially(stream.path(), scale);
    ASSERT_FALSE(sequential.empty());
    for (const auto& [number, frame] : sequential) {
      const std::string outside = frame.picture.writtenOutside(scale, FrameStore::kFill);
      ASSERT_EQ(outside, "") << scale.name << ", frame " << number << " wrote outside its picture";
    }
    for (int32_t workers : kWorkerCounts) {
      recreatePool(workers);
      ASSERT_EQ(pool.workerCount(), workers);
      const int64_t before = pool.picturesDispatched();
      const std::map<int32_t, DecodedFrame> threaded = decodeStream(stream.path(), scale);
      const int64_t dispatched = pool.picturesDispatched() - before;
      const std::string what = std::string(scale.name) + ", " + std::to_string(workers) + " workers";
      expectSameFrames(sequential, threaded, what);
      EXPECT_EQ(dispatched, slicesStartMidRow(stream.file) ? 0 : rowIndependentPictures(threaded)) << what;
    }
  }
  recreatePool(0);
}

// A damaged stream gives the same bytes on the workers as on the calling
// thread, every time: a damaged slice stays in its own rows.
TEST(DamagedThreadedDecode, SameBytesEveryTime) {
  std::vector<uint8_t> bytes = test::readFileBytes(streamPath("es-interlaced-tff-720x576.m2v"));
  std::mt19937 random(20261206u);
  for (int flips = 0; flips < 60;) {
    const size_t at = 2000 + random() % (bytes.size() - 2000);
    if (bytes[at - 1] == 0 || bytes[at] == 0 || bytes[at + 1] == 0) continue;  // never a start code
    bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8));
    flips += bytes[at] != 0;
  }
  const TempFile file("/tmp/quarlin-dispatch-tests", bytes);
  const std::string& path = file.path();
  for (const Scale& scale : kAllScales) {
    const std::map<int32_t, DecodedFrame> sequential = decodeSequentially(path, scale);
    int failures = 0;
    for (const auto& [number, frame] : sequential) failures += frame.result != 0;
    EXPECT_GT(failures, 0) << "the damage went unnoticed";
    recreatePool(3);
    for (int again = 0; again < 10; ++again) expectSameFrames(sequential, decodeStream(path, scale), scale.name);
  }
  recreatePool(0);
}

INSTANTIATE_TEST_SUITE_P(Corpus, ThreadedDecode, testing::ValuesIn(test::decodableStreams()),
                         test::CorpusTestName());

}  // namespace
}  // namespace quarlin::dispatchtest
