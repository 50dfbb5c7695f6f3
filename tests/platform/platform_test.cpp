// The platform and foundation services the decoder's threads rely on: events,
// locks, interlocked counts, threads, the counted allocators and the
// kernel's queue of background reads.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <span>
#include <thread>
#include <vector>

#include "foundation/kelso/allocator.h"
#include "foundation/kelso/stl_allocator.h"
#include "foundation/kelso/thread_manager.h"
#include "platform/sync.h"
#if defined(__linux__)
#include <fcntl.h>
#include <unistd.h>

#include "platform/kernel_read_queue_linux.h"
#include "tests/support/corpus.h"
#endif

namespace quarlin::platform {
namespace {

// Auto-reset, sets do not stack, time-outs consume nothing, a wait for
// several events consumes them only together.
TEST(Event, AutoResetTimeOutsAndWaitsForAll) {
  Event a, b, c;
  Event* const set[] = {&a, &b, &c};
  EXPECT_FALSE(a.wait(0)) << "created non-signalled";
  a.set();
  a.set();
  EXPECT_TRUE(a.wait(0));
  EXPECT_FALSE(a.wait(20));
  a.set();
  c.set();
  EXPECT_FALSE(waitForAll(set, 3, 30));
  EXPECT_TRUE(a.wait(0) && c.wait(0)) << "the time-out consumed nothing";
  std::thread setter([&] {
    for (Event* e : set) std::this_thread::sleep_for(std::chrono::milliseconds(20)), e->set();
  });
  EXPECT_TRUE(waitForAll(set, 3, 10000));
  setter.join();
  for (Event* e : set) EXPECT_FALSE(e->wait(0));
}

TEST(CriticalSection, RecursiveForItsOwnerExclusiveForOthersAndCountsExact) {
  CriticalSection lock;
  lock.enter();
  EXPECT_TRUE(lock.tryEnter());
  lock.leave();
  bool otherGotIt = true;
  std::thread([&] { otherGotIt = lock.tryEnter(); }).join();
  EXPECT_FALSE(otherGotIt) << "still held once";
  lock.leave();
  int64_t plain = 0;
  volatile int32_t interlocked = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        lock.enter();
        ++plain;
        lock.leave();
        interlockedIncrement(&interlocked);
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(plain, 80000);
  EXPECT_EQ(interlockedDecrement(&interlocked), 79999) << "the new value";
}

TEST(Thread, WaitTimesOutWhileItRunsThenSucceeds) {
  Event release;
  ThreadHandle thread = Kelso::ThreadManager::CreateRegisteredThread(
      [](void* event) -> uint32_t { return static_cast<Event*>(event)->wait(-1) ? 0 : 1; }, &release,
      u"SliceDecoderThread", u"Quarlin");
  ASSERT_TRUE(thread.valid());
  EXPECT_FALSE(waitForThreads(&thread, 1, 30));
  release.set();
  EXPECT_TRUE(waitForThreads(&thread, 1, -1));
  EXPECT_TRUE(waitForThreads(&thread, 1, 0)) << "an ended thread stays ended";
  closeThread(thread);
  EXPECT_FALSE(Kelso::ThreadManager::CreateRegisteredThread(nullptr, nullptr, u"x", u"y").valid());
}

TEST(KelsoAllocator, OneObjectPerBlockSizeAndEveryBlockCounted) {
  Kelso::Allocator* const four = Kelso::Allocator::GetAllocator(4);
  EXPECT_EQ(Kelso::Allocator::GetAllocator(4), four);
  EXPECT_NE(Kelso::Allocator::GetAllocator(8), four);
  const int64_t live = Kelso::Allocator::LiveBlocks();
  void* block = four->AllocateBlock(4);
  {
    const Kelso::Vector<int64_t> offsets(1000);
    EXPECT_EQ(Kelso::Allocator::LiveBlocks(), live + 2);
  }
  EXPECT_EQ(Kelso::Allocator::LiveBlocks(), live + 1);
  four->FreeBlock(block);
  EXPECT_EQ(Kelso::Allocator::LiveBlocks(), live);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)  // they report it instead
  EXPECT_THROW(Kelso::Allocator::Allocate(SIZE_MAX / 2 + 1), std::bad_alloc);  // larger than any object may be
#endif
  EXPECT_THROW(Kelso::STLAllocator<int64_t>().allocate(SIZE_MAX / 4), std::bad_alloc);
}

#if defined(__linux__)
// Each kind of queue reads what the file holds, reads in flight together,
// each completion naming its owner; the read at the end comes back short.
TEST(KernelReadQueue, EachKindReadsTheFileWithReadsInFlight) {
  constexpr int kBytes = 4096;
  std::vector<uint8_t> bytes(3 * kBytes + 100);
  std::mt19937 random(7);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  const TempFile file("/tmp/quarlin-platform-tests", bytes);  // on the disk: direct I/O applies
  const int fd = open(file.path().c_str(), O_RDONLY | O_DIRECT);
  ASSERT_GE(fd, 0);
  alignas(kBytes) static char buffers[4][kBytes];
  for (auto kind : {KernelQueueKind::Aio, KernelQueueKind::Ring}) {
    KernelReadQueue queue;
    ASSERT_TRUE(queue.setUp(8, kind) && queue.kind() == kind);
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(queue.submit(buffers[i], fd, buffers[i], kBytes, int64_t{i} * kBytes));
    for (int reaped = 0; reaped < 4;) {
      KernelCompletion done[4];
      const long n = queue.wait(done, 4 - reaped);
      ASSERT_GT(n, 0);
      reaped += static_cast<int>(n);
      for (const KernelCompletion& c : std::span(done, static_cast<size_t>(n))) {
        const auto i = static_cast<char(*)[kBytes]>(c.owner) - buffers;
        EXPECT_EQ(c.result, i < 3 ? kBytes : 100) << i;
        EXPECT_EQ(std::memcmp(c.owner, &bytes[static_cast<size_t>(i) * kBytes], static_cast<size_t>(c.result)), 0) << i;
      }
    }
    queue.tearDown();
    EXPECT_FALSE(queue.active());
  }
  close(fd);
}
#endif

}  // namespace
}  // namespace quarlin::platform
