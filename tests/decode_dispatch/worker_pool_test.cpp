// The process's slice worker pool: a forked child's own pool, and workers
// that could not start are never given work.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "decode/slice_worker_pool.h"
#include "platform/thread.h"
#include "tests/support/corpus.h"
#include "tests/support/frame_host.h"
#include "tests/support/thread_count.h"

namespace quarlin::test {
namespace {

// 720 x 576, one slice per macroblock row: every picture goes to the workers.
const char kStream[] = "es-interlaced-tff-720x576.m2v";
using Areas = std::vector<std::vector<uint8_t>>;

// The picture area of every frame of kStream through a session opened now.
Areas decodeStream() {
  const InternalSession session(streamPath(kStream));
  HostDecoder decoder(session);
  Areas areas;
  for (const auto& picture : decodeAll(decoder, DecodeScale::Full)) areas.push_back(pictureArea(*picture));
  return areas;
}

// A host that forks after loading the library (Python's multiprocessing
// does by default) decodes in the child, on workers of the child's own: the
// parent's, waiting on their events at the fork, do not exist there, and the
// child's events must still wake. The child's pool is sized by the processors
// it may run on.
TEST(WorkerPool, ForkedChildDecodesOnItsOwnWorkers) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "ThreadSanitizer cannot start threads after a fork";
#endif
  recreatePool(0);
  const Areas sequential = decodeStream();  // on this thread: a session opened without a pool
  recreatePool(2);
  const InternalSession openInTheParent(streamPath(kStream));  // its reader's service is the parent's
  const pid_t child = fork();
  if (child == 0) {
    alarm(120);  // a picture handed to workers that do not exist would wait for ever
    bool ok = decodeStream() == sequential;
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

// Thread stacks cannot be mapped beyond an address-space limit a little above
// what the process uses: the pool starts fewer threads than asked for, counts
// only those, and never hands a run to a worker that does not exist (a
// dispatch to one would wait for ever).
TEST(WorkerPool, WorkersThatCouldNotStartAreNeverUsed) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers' own mappings do not fit an address-space limit";
#endif
  recreatePool(0);
  const Areas sequential = decodeStream();
  SliceWorkerPool& pool = SliceWorkerPool::instance();
  const int32_t baseline = settledThreadCount();

  uint64_t mappedPages = 0;  // of address space
  std::ifstream("/proc/self/statm") >> mappedPages;
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
  rlimit tight = saved;
  // Room for a few 8 MiB stacks, not 64.
  tight.rlim_cur = mappedPages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) + 48u * 1024 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
  pool.create(64);
  const int32_t started = pool.workerCount();
  ASSERT_EQ(setrlimit(RLIMIT_AS, &saved), 0);

  EXPECT_GT(started, 0);
  EXPECT_LT(started, 64);
  EXPECT_EQ(awaitThreadCount(baseline + started - 1), baseline + started - 1);  // part 0: the caller
  const int64_t before = picturesDispatched();
  EXPECT_TRUE(decodeStream() == sequential);
  EXPECT_TRUE(started < 2 || picturesDispatched() - before == static_cast<int64_t>(sequential.size()));
  recreatePool(0);
  EXPECT_EQ(awaitThreadCount(baseline), baseline);
}

}  // namespace
}  // namespace quarlin::test
