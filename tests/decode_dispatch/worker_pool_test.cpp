// The process's slice worker pool: how many workers it starts, that stopping
// it ends them, that a pool made again works like the first, and that workers
// that could not start are never given work.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iostream>

#include "decode/slice_worker_pool.h"
#include "platform/thread.h"
#include "tests/decode_dispatch/dispatch_harness.h"
#include "tests/support/thread_count.h"

namespace quarlin::dispatchtest {
namespace {

using test::awaitThreadCount;
using test::settledThreadCount;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#if defined(__SANITIZE_THREAD__)
constexpr bool kThreadSanitizer = true;
#else
constexpr bool kThreadSanitizer = false;
#endif

// 720 x 576, one slice per macroblock row: every picture goes to the workers.
const char kStream[] = "es-interlaced-tff-720x576.m2v";

TEST(WorkerPool, StartsTheWorkersItCountsAndStopsThemAll) {
  const struct {
    int32_t requested, started;  // started 0: the processor count
  } cases[] = {{1, 1}, {3, 3}, {0, 0}, {64, 64}, {200, 64}};
  SliceWorkerPool& pool = SliceWorkerPool::instance();
  recreatePool(0);
  const int32_t baseline = settledThreadCount();
  for (const auto& c : cases) {
    const int32_t expected = c.started ? c.started : platform::processorCount();
    pool.create(c.requested);
    pool.create(5);  // a pool that exists is left as it is
    EXPECT_EQ(pool.workerCount(), expected) << c.requested << " requested";
    EXPECT_EQ(awaitThreadCount(baseline + expected), baseline + expected) << c.requested << " requested";
    pool.destroy();
    pool.destroy();  // a stopped pool stops again without harm
    EXPECT_EQ(pool.workerCount(), 0);
    EXPECT_EQ(awaitThreadCount(baseline), baseline) << "workers left running after the pool stopped";
  }
}

// Every frame of kStream decodes on the current pool as on the calling
// thread; how many pictures the workers took.
int64_t expectDecodesLikeSequential(const std::map<int32_t, DecodedFrame>& sequential) {
  SliceWorkerPool& pool = SliceWorkerPool::instance();
  const int64_t before = pool.picturesDispatched();
  const std::map<int32_t, DecodedFrame> threaded = decodeStream(streamPath(kStream), kFull);
  EXPECT_EQ(threaded.size(), sequential.size());
  for (const auto& [frame, decoded] : sequential)
    EXPECT_TRUE(threaded.count(frame) && threaded.at(frame).picture == decoded.picture) << "frame " << frame;
  return pool.picturesDispatched() - before;
}

// Pools made and stopped in quick succession; the last one decodes exactly
// like sequential decoding and really is used.
TEST(WorkerPool, PoolMadeAgainDecodesLikeTheFirst) {
  const std::map<int32_t, DecodedFrame> sequential = decodeSequentially(streamPath(kStream), kFull);
  recreatePool(0);
  const int32_t baseline = settledThreadCount();
  for (int cycle = 0; cycle < 40; ++cycle) recreatePool(1 + cycle % 8);
  recreatePool(0);
  EXPECT_EQ(awaitThreadCount(baseline), baseline);
  recreatePool(3);
  EXPECT_EQ(expectDecodesLikeSequential(sequential), static_cast<int64_t>(sequential.size()));
  recreatePool(0);
}

// A host that forks after loading the library (Python's multiprocessing
// does by default) decodes in the child, on workers of the child's own: the
// parent's do not exist there. The child's pool is sized by the processors
// it may run on.
TEST(WorkerPool, ForkedChildDecodesOnItsOwnWorkers) {
  if (kThreadSanitizer) GTEST_SKIP() << "ThreadSanitizer cannot start threads after a fork";
  const std::map<int32_t, DecodedFrame> sequential = decodeSequentially(streamPath(kStream), kFull);
  recreatePool(2);
  const TestSession openInTheParent(streamPath(kStream));  // its reader's service is the parent's
  const pid_t child = fork();
  if (child == 0) {
    alarm(120);  // a picture handed to workers that do not exist would wait for ever
    bool ok = true;
    const std::map<int32_t, DecodedFrame> threaded = decodeStream(streamPath(kStream), kFull);
    for (const auto& [frame, decoded] : sequential) ok = ok && threaded.at(frame).picture == decoded.picture;
    SliceWorkerPool& pool = SliceWorkerPool::instance();
    ok = ok && pool.workerCount() == platform::processorCount();
    ok = ok && (pool.workerCount() < 2 || pool.picturesDispatched() == static_cast<int64_t>(sequential.size()));
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(0, &one);
    ok = ok && sched_setaffinity(0, sizeof one, &one) == 0 && platform::processorCount() == 1;
    _exit(ok ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  recreatePool(0);
}

// Bytes of address space the process has mapped.
uint64_t mappedBytes() {
  std::ifstream statm("/proc/self/statm");
  uint64_t pages = 0;
  statm >> pages;
  return pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

// Thread stacks cannot be mapped beyond an address-space limit a little above
// what the process uses: the pool starts fewer threads than asked for, counts
// only those, and never hands a run to a worker that does not exist (a
// dispatch to one would wait for ever).
TEST(WorkerPool, WorkersThatCouldNotStartAreNeverUsed) {
  if (kSanitized) GTEST_SKIP() << "the sanitizers' own mappings do not fit an address-space limit";
  const std::map<int32_t, DecodedFrame> sequential = decodeSequentially(streamPath(kStream), kFull);
  recreatePool(0);
  SliceWorkerPool& pool = SliceWorkerPool::instance();
  const int32_t baseline = settledThreadCount();

  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
  rlimit tight = saved;
  tight.rlim_cur = mappedBytes() + 48u * 1024 * 1024;  // room for a few 8 MiB stacks, not 64
  ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
  pool.create(64);
  const int32_t started = pool.workerCount();
  ASSERT_EQ(setrlimit(RLIMIT_AS, &saved), 0);

  std::cout << started << " of 64 workers started under the limit\n";
  EXPECT_GT(started, 0);
  EXPECT_LT(started, 64);
  EXPECT_EQ(awaitThreadCount(baseline + started), baseline + started);
  const int64_t dispatched = expectDecodesLikeSequential(sequential);
  if (started > 1) {
    EXPECT_EQ(dispatched, static_cast<int64_t>(sequential.size()));
  }
  recreatePool(0);
  EXPECT_EQ(awaitThreadCount(baseline), baseline);
}

}  // namespace
}  // namespace quarlin::dispatchtest
