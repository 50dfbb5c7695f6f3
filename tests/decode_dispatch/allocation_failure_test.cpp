// The C++ heap failing during a parallel picture: on a worker thread the
// part fails and the thread lives on; on the dispatching thread the request
// ends with the exception (which the exports turn into -1). In both cases
// the pool is free again and the next picture decodes as before.
#include <gtest/gtest.h>

#include <new>

#include "decode/frame_request.h"
#include "tests/decode_dispatch/allocation_hook.h"
#include "tests/support/corpus.h"
#include "tests/support/frame_host.h"
#include "tests/support/test_host.h"

namespace quarlin::test {
namespace {

class AllocationFailure : public testing::Test {
 protected:
  void SetUp() override {
    recreatePool(2);
    // 720 x 576, one slice per macroblock row: its pictures go to the workers.
    session_ = std::make_unique<InternalSession>(streamPath("es-interlaced-tff-720x576.m2v"));
    ASSERT_EQ(session_->indexResult(), 0);
    picture_ = std::make_unique<tool::Picture>(tool::planeLayout(HostDecoder(*session_).geometry(), DecodeScale::Full),
                                               DecodeScale::Full, guardedPlanes());
    ASSERT_EQ(decodeIntraFrame(), 0);
    expected_ = pictureArea(*picture_);
  }
  void TearDown() override {
    clearAllocationFailures();
    session_.reset();
    recreatePool(0);
  }

  // Frame 0, an I-picture, decoded without references.
  int32_t decodeIntraFrame() {
    const PlaneSet planes = picture_->planeSet();
    return decodeFrame(**session_, 0, nullptr, nullptr, &planes, 0, 0);
  }

  // The pool is free (another thread can take it) and the next request
  // goes to the workers and gives the expected picture.
  void expectPoolAndSessionWork() {
    EXPECT_TRUE(PoolHolder().holding()) << "the pool was left held";
    const int64_t before = picturesDispatched();
    std::fill_n(picture_->plane(0), picture_->planeBytes(0), 0);
    EXPECT_EQ(decodeIntraFrame(), 0);
    EXPECT_EQ(picturesDispatched() - before, 1);
    EXPECT_TRUE(pictureArea(*picture_) == expected_);
  }

  std::unique_ptr<InternalSession> session_;
  std::unique_ptr<tool::Picture> picture_;
  std::vector<uint8_t> expected_;
};

TEST_F(AllocationFailure, OnTheWorkersFailsTheirPartsOnly) {
  const int64_t dispatched = picturesDispatched(), failed = failedAllocations(), live = testHostLiveAllocations();
  failAllocationsOnWorkers(true);
  const int32_t result = decodeIntraFrame();
  failAllocationsOnWorkers(false);
  EXPECT_EQ(picturesDispatched() - dispatched, 1);
  EXPECT_GT(failedAllocations(), failed) << "the workers allocated nothing";
  EXPECT_EQ(result, -1);
  EXPECT_EQ(testHostLiveAllocations(), live);
  expectPoolAndSessionWork();
}

// Each allocation of the request on the dispatching thread fails in turn,
// up to the first request that makes fewer allocations than are skipped.
TEST_F(AllocationFailure, OnTheDispatchingThreadGivesThePoolBack) {
  int32_t skip = 0;
  for (;; ++skip) {
    SCOPED_TRACE("allocation " + std::to_string(skip) + " failed");
    const int64_t failed = failedAllocations();
    int32_t result = -99;
    failAllocationOnThisThread(skip);
    try {
      result = decodeIntraFrame();
    } catch (const std::bad_alloc&) {
    }
    clearAllocationFailures();
    if (failedAllocations() == failed) {
      EXPECT_EQ(result, 0);
      break;  // every allocation of the request has failed once
    }
    expectPoolAndSessionWork();
    ASSERT_LT(skip, 1000);
  }
  EXPECT_GT(skip, 0);
}

}  // namespace
}  // namespace quarlin::test
