// The C++ heap failing during a parallel picture: on a worker thread the
// part fails and the thread lives on; on the dispatching thread the request
// ends with the exception (which the exports turn into -1), and in both
// cases the pool is free again and the next picture decodes as before.
#include <gtest/gtest.h>

#include <iostream>
#include <new>

#include "decode/frame_request.h"
#include "decode/slice_worker_pool.h"
#include "tests/decode_dispatch/allocation_hook.h"
#include "tests/decode_dispatch/dispatch_harness.h"
#include "tests/support/test_host.h"

namespace quarlin::dispatchtest {
namespace {

// 720 x 576, one slice per macroblock row: its pictures go to the workers.
const char kStream[] = "es-interlaced-tff-720x576.m2v";

class AllocationFailure : public testing::Test {
 protected:
  void SetUp() override {
    recreatePool(2);
    session_ = std::make_unique<TestSession>(streamPath(kStream));
    ASSERT_EQ(session_->indexResult(), 0);
    expected_ = decodeIntraFrame();
    ASSERT_EQ(expected_.result, 0);
  }
  void TearDown() override {
    clearAllocationFailures();
    session_.reset();
    recreatePool(0);
  }

  // Frame 0, an I-picture, decoded without references.
  DecodedFrame decodeIntraFrame() {
    DecodedFrame frame;
    frame.picture = HostPicture(**session_, 0x5A);
    const PlaneSet planes = frame.picture.planeSet();
    frame.result = decodeFrame(**session_, 0, nullptr, nullptr, &planes, 0, 0);
    return frame;
  }

  // The pool is free (another thread can take it) and the next request
  // goes to the workers and gives the expected picture.
  void expectPoolAndSessionWork(const std::string& what) {
    {
      PoolHolder other;
      EXPECT_TRUE(other.holding()) << what << ": the pool was left held";
    }
    SliceWorkerPool& pool = SliceWorkerPool::instance();
    const int64_t before = pool.picturesDispatched();
    const DecodedFrame again = decodeIntraFrame();
    EXPECT_EQ(pool.picturesDispatched() - before, 1) << what;
    EXPECT_EQ(again.result, 0) << what;
    EXPECT_TRUE(again.picture == expected_.picture) << what;
  }

  std::unique_ptr<TestSession> session_;
  DecodedFrame expected_;
};

TEST_F(AllocationFailure, OnTheWorkersFailsTheirPartsOnly) {
  SliceWorkerPool& pool = SliceWorkerPool::instance();
  const int64_t dispatched = pool.picturesDispatched();
  const int64_t failed = failedAllocations();
  const int64_t live = testHostLiveAllocations();
  failAllocationsOnWorkers(true);
  const DecodedFrame frame = decodeIntraFrame();
  failAllocationsOnWorkers(false);
  EXPECT_EQ(pool.picturesDispatched() - dispatched, 1);
  EXPECT_GT(failedAllocations(), failed) << "the workers allocated nothing";
  EXPECT_EQ(frame.result, -1);
  EXPECT_EQ(testHostLiveAllocations(), live);
  expectPoolAndSessionWork("after the workers' failure");
}

// Each allocation of the request on the dispatching thread fails in turn,
// up to the first request that makes fewer allocations than are skipped.
TEST_F(AllocationFailure, OnTheDispatchingThreadGivesThePoolBack) {
  int32_t failures = 0;
  for (int32_t skip = 0; skip < 1000; ++skip) {
    const int64_t failed = failedAllocations();
    bool threw = false;
    DecodedFrame frame;
    frame.picture = HostPicture(**session_, 0x5A);
    const PlaneSet planes = frame.picture.planeSet();
    failAllocationOnThisThread(skip);
    try {
      frame.result = decodeFrame(**session_, 0, nullptr, nullptr, &planes, 0, 0);
    } catch (const std::bad_alloc&) {
      threw = true;
    }
    clearAllocationFailures();
    if (failedAllocations() == failed) {
      EXPECT_FALSE(threw);
      EXPECT_EQ(frame.result, 0) << "skip " << skip;
      break;  // every allocation of the request has failed once
    }
    ++failures;
    expectPoolAndSessionWork("allocation " + std::to_string(skip) + " failed");
  }
  std::cout << failures << " allocations of the request failed in turn\n";
  EXPECT_GT(failures, 0);
}

}  // namespace
}  // namespace quarlin::dispatchtest
