// Two sessions decoding at the same time from two threads: the pool serves
// one picture at a time, the other picture is decoded on its own thread,
// and both come out as when decoded alone.
#include <gtest/gtest.h>

#include <atomic>
#include <iostream>
#include <thread>

#include "decode/slice_worker_pool.h"
#include "tests/decode_dispatch/dispatch_harness.h"

namespace quarlin::dispatchtest {
namespace {

struct Job {
  const char* file;
  Scale scale;
};

// Whole-stream passes each thread makes at least, and at most while no
// overlap with the other thread has been seen yet.
constexpr int kMinimumPasses = 4;
constexpr int kMaximumPasses = 200;

TEST(ConcurrentPictures, TwoSessionsOnTwoThreadsDecodeAsAlone) {
  const Job jobs[2] = {{"es-interlaced-tff-720x576.m2v", kFull}, {"es-interlaced-bff.m2v", kQuarter}};
  recreatePool(2);
  SliceWorkerPool& pool = SliceWorkerPool::instance();
  std::map<int32_t, DecodedFrame> alone[2];
  for (int j = 0; j < 2; ++j) alone[j] = decodeStream(streamPath(jobs[j].file), jobs[j].scale);

  const int64_t refusedBefore = pool.busyRefusals();
  const int64_t dispatchedBefore = pool.picturesDispatched();
  std::atomic<int> mismatches{0};
  int passes[2] = {0, 0};
  auto run = [&](int j) {
    TestSession session(streamPath(jobs[j].file));
    while (passes[j] < kMinimumPasses ||
           (pool.busyRefusals() == refusedBefore && passes[j] < kMaximumPasses)) {
      FrameStore store(*session, jobs[j].scale);
      store.decodeAll();
      for (const auto& [frame, decoded] : alone[j])
        mismatches += !(store.frame(frame).picture == decoded.picture) || store.frame(frame).result != decoded.result;
      ++passes[j];
    }
  };
  std::thread first(run, 0), second(run, 1);
  first.join();
  second.join();

  const int64_t refused = pool.busyRefusals() - refusedBefore;
  const int64_t dispatched = pool.picturesDispatched() - dispatchedBefore;
  std::cout << "passes " << passes[0] << " and " << passes[1] << "; " << dispatched << " pictures on the workers, "
            << refused << " found the pool busy\n";
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_GT(dispatched, 0);
  EXPECT_GT(refused, 0) << "the two sessions never overlapped";
  recreatePool(0);
}

}  // namespace
}  // namespace quarlin::dispatchtest
