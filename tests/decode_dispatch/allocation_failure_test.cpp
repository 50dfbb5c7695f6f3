// The C++ heap failing during a parallel picture: on a worker thread the
// part fails and the thread lives on; on the dispatching thread the request
// ends with the exception (which the exports turn into -1). In both cases
// the pool is free again and the next picture decodes as before. This
// binary replaces the global operator new and delete to fail on demand.
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "decode/frame_request.h"
#include "tests/support/corpus.h"
#include "tests/support/frame_host.h"
#include "tests/support/test_host.h"

namespace {

std::atomic<bool> workersFail{false};  // every allocation on a slice worker thread fails
std::atomic<int64_t> failed{0};        // allocations made to fail so far
thread_local int32_t passesLeft = -1;  // allocations still to pass on this thread before one fails; -1 unarmed

void* allocate(std::size_t size) {
  char name[16] = {};  // workers are named after the pool's thread name (truncated by the system)
  if (workersFail.load(std::memory_order_relaxed) && pthread_getname_np(pthread_self(), name, sizeof name) == 0 &&
      std::strncmp(name, "SliceDecoder", 12) == 0)
    return failed.fetch_add(1), nullptr;
  if (passesLeft >= 0 && passesLeft-- == 0) return failed.fetch_add(1), nullptr;
  return std::malloc(size ? size : 1);
}

}  // namespace

// The replaceable allocation functions: malloc and free underneath, with the
// failures above. (Aligned forms are left to the library.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // free() is this binary's operator delete
#endif
void* operator new(std::size_t size) {
  if (void* p = allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

// Under LeakSanitizer: blocks only an injected failure strands, the StreamBuffer
// whose reference count could not be allocated and a test-host block whose
// bookkeeping threw after the allocation.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
  return "leak:quarlin::createSharedBuffer\nleak:hostAllocate\n";
}

namespace quarlin::test {
namespace {

class AllocationFailure : public testing::Test {
 protected:
  void SetUp() override {
    recreatePool(2);
    // 720 x 576, one slice per macroblock row: its pictures go to the workers.
    session_ = std::make_unique<InternalSession>(streamPath("es-interlaced-tff-720x576.m2v"));
    ASSERT_EQ(session_->indexResult(), 0);
    picture_ = guardedPicture(HostDecoder(*session_));
    ASSERT_EQ(decodeIntraFrame(), 0);
    expected_ = pictureArea(*picture_);
  }
  void TearDown() override {
    workersFail = false, passesLeft = -1;
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
  const int64_t dispatched = picturesDispatched(), before = failed.load(), live = testHostLiveAllocations();
  // The dispatching thread decodes runs too and may take them all before the
  // worker wakes: a few tries until the worker has taken one.
  workersFail = true;
  int32_t result = 0, tries = 0;
  while (tries < 20 && failed.load() == before) ++tries, result = decodeIntraFrame();
  workersFail = false;
  EXPECT_EQ(picturesDispatched() - dispatched, tries);
  EXPECT_GT(failed.load(), before) << "the workers allocated nothing";
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
    const int64_t before = failed.load();
    int32_t result = -99;
    std::fill_n(picture_->plane(0), picture_->planeBytes(0), 0);
    passesLeft = skip;
    try {
      result = decodeIntraFrame();
    } catch (const std::bad_alloc&) {
    }
    passesLeft = -1;
    // A request that reports success wrote the whole picture.
    EXPECT_TRUE(result != 0 || pictureArea(*picture_) == expected_) << "result 0 with a picture not decoded";
    if (failed.load() == before) {
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
