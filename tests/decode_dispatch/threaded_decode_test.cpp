// Decoding on the slice workers gives exactly the bytes of decoding on the
// calling thread, for every corpus stream, at every scale and for pools of
// several sizes; and the workers really are used.
#include <gtest/gtest.h>

#include <iostream>

#include "decode/slice_worker_pool.h"
#include "tests/decode_dispatch/dispatch_harness.h"

namespace quarlin::dispatchtest {
namespace {

// Pools to compare with sequential decoding: one worker (parts is 1, the
// worker never runs), as many as this machine's processors and more, and
// more workers than a small picture has rows (runs of 0 slices).
constexpr int32_t kWorkerCounts[] = {1, 2, 4, 7, 16};

// Every frame of the stream while another thread holds the pool: each
// picture finds it busy and is decoded on the calling thread.
std::map<int32_t, DecodedFrame> decodeSequentially(const std::string& path, const Scale& scale) {
  recreatePool(2);
  SliceWorkerPool& pool = SliceWorkerPool::instance();
  PoolHolder busy;
  EXPECT_TRUE(busy.holding());
  const int64_t dispatchedBefore = pool.picturesDispatched();
  std::map<int32_t, DecodedFrame> frames = decodeStream(path, scale);
  EXPECT_EQ(pool.picturesDispatched(), dispatchedBefore) << "a picture reached the workers of a busy pool";
  return frames;
}

// Requests that ended on a frame picture.
int64_t framePictures(const std::map<int32_t, DecodedFrame>& frames) {
  int64_t count = 0;
  for (const auto& [number, frame] : frames) count += frame.result == 0 && !frame.fieldCoded;
  return count;
}

// Frame pictures whose rows can go to different workers: not those that
// predict from their own output planes (a leading B-picture whose forward
// reference precedes the file), whose rows depend on each other.
int64_t rowIndependentPictures(const std::map<int32_t, DecodedFrame>& frames) {
  int64_t count = 0;
  for (const auto& [number, frame] : frames)
    count += frame.result == 0 && !frame.fieldCoded && !frame.predictsFromOutput();
  return count;
}

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

TEST_P(ThreadedDecode, EveryPoolSizeGivesTheSequentialBytes) {
  const CorpusStream& stream = GetParam();
  SliceWorkerPool& pool = SliceWorkerPool::instance();
  for (const Scale& scale : kAllScales) {
    const std::map<int32_t, DecodedFrame> sequential = decodeSequentially(stream.path(), scale);
    ASSERT_FALSE(sequential.empty());
    for (int32_t workers : kWorkerCounts) {
      recreatePool(workers);
      ASSERT_EQ(pool.workerCount(), workers);
      const int64_t before = pool.picturesDispatched();
      const std::map<int32_t, DecodedFrame> threaded = decodeStream(stream.path(), scale);
      const int64_t dispatched = pool.picturesDispatched() - before;
      const std::string what = std::string(scale.name) + ", " + std::to_string(workers) + " workers";
      expectSameFrames(sequential, threaded, what);
      if (workers == 1) {
        EXPECT_EQ(dispatched, 0) << what << ": a one-worker pool decodes on the calling thread";
      } else {
        // Only frame pictures can be dispatched, each at most once.
        EXPECT_LE(dispatched, framePictures(threaded)) << what;
      }
    }
  }
  recreatePool(0);
}

INSTANTIATE_TEST_SUITE_P(Corpus, ThreadedDecode, testing::ValuesIn(decodableStreams()),
                         [](const testing::TestParamInfo<CorpusStream>& info) { return testNameOf(info.param.file); });

// Streams whose pictures are not one slice per macroblock row; every other
// frame picture of the corpus is.
bool slicesStartMidRow(const std::string& file) { return file == "es-multi-slice-rows.m2v"; }

TEST(ThreadedDecodeCoverage, CorpusFramePicturesReachTheWorkers) {
  recreatePool(2);
  SliceWorkerPool& pool = SliceWorkerPool::instance();
  int64_t allFramePictures = 0, allDispatched = 0;
  for (const CorpusStream& stream : decodableStreams()) {
    const int64_t before = pool.picturesDispatched();
    const std::map<int32_t, DecodedFrame> frames = decodeStream(stream.path(), kFull);
    const int64_t dispatched = pool.picturesDispatched() - before;
    const int64_t pictures = framePictures(frames);
    std::cout << stream.file << ": " << dispatched << " of " << pictures << " frame pictures dispatched\n";
    if (slicesStartMidRow(stream.file)) {
      EXPECT_EQ(dispatched, 0) << stream.file << " has several slices per row";
    } else {
      EXPECT_EQ(dispatched, rowIndependentPictures(frames)) << stream.file;
    }
    allFramePictures += pictures;
    allDispatched += dispatched;
  }
  std::cout << "corpus: " << allDispatched << " of " << allFramePictures << " frame pictures dispatched\n";
  EXPECT_GE(allDispatched * 10, allFramePictures * 9);
  recreatePool(0);
}

}  // namespace
}  // namespace quarlin::dispatchtest
