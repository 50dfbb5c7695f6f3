// Events, waits for several events, locks and interlocked counts.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/sync.h"

namespace quarlin::platform {
namespace {

using Clock = std::chrono::steady_clock;

int64_t millisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(EventTest, SetWakesOneWaitThenResets) {
  Event event;
  EXPECT_FALSE(event.wait(0)) << "created non-signalled";
  event.set();
  event.set();  // a second set before the wait does not stack
  EXPECT_TRUE(event.wait(0));
  EXPECT_FALSE(event.wait(0)) << "auto-reset";
}

TEST(EventTest, WaitTimesOutAfterRoughlyTheTime) {
  Event event;
  const auto start = Clock::now();
  EXPECT_FALSE(event.wait(60));
  EXPECT_GE(millisecondsSince(start), 55);
}

TEST(EventTest, SetFromAnotherThreadWakesAnEndlessWait) {
  Event event;
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    event.set();
  });
  EXPECT_TRUE(event.wait(-1));
  setter.join();
}

TEST(WaitForAllTest, NeedsEveryEventAndConsumesThemOnlyTogether) {
  Event a, b, c;
  Event* const set[] = {&a, &b, &c};
  a.set();
  c.set();
  EXPECT_FALSE(waitForAll(set, 3, 30));
  // The time-out consumed nothing.
  EXPECT_TRUE(a.wait(0));
  EXPECT_TRUE(c.wait(0));
  a.set();
  b.set();
  c.set();
  EXPECT_TRUE(waitForAll(set, 3, 0));
  for (Event* e : set) EXPECT_FALSE(e->wait(0)) << "each was consumed";
}

TEST(WaitForAllTest, WakesWhenTheLastEventIsSetElsewhere) {
  constexpr int kCount = 4;
  Event events[kCount];
  Event* set[kCount];
  for (int i = 0; i < kCount; ++i) set[i] = &events[i];
  std::thread setter([&] {
    for (int i = kCount - 1; i >= 0; --i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      events[i].set();
    }
  });
  EXPECT_TRUE(waitForAll(set, kCount, 10000));
  setter.join();
}

TEST(CriticalSectionTest, HeldLockRefusesOtherThreadsAndIsRecursive) {
  CriticalSection lock;
  lock.enter();
  EXPECT_TRUE(lock.tryEnter()) << "recursive on the owning thread";
  bool otherGotIt = true;
  std::thread([&] { otherGotIt = lock.tryEnter(); }).join();
  EXPECT_FALSE(otherGotIt);
  lock.leave();
  std::thread([&] { otherGotIt = lock.tryEnter(); }).join();
  EXPECT_FALSE(otherGotIt) << "still held once";
  lock.leave();
  std::thread([&] {
    otherGotIt = lock.tryEnter();
    if (otherGotIt) lock.leave();
  }).join();
  EXPECT_TRUE(otherGotIt);
}

TEST(CriticalSectionTest, EnterExcludesOtherThreads) {
  CriticalSection lock;
  int64_t counter = 0;  // plain: only the lock protects it
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        lock.enter();
        ++counter;
        lock.leave();
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 80000);
}

TEST(InterlockedTest, CountsStayExactUnderContention) {
  volatile int32_t count = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 50000; ++i) {
        interlockedIncrement(&count);
        interlockedDecrement(&count);
        interlockedIncrement(&count);
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(count, 200000);
  EXPECT_EQ(interlockedDecrement(&count), 199999) << "returns the new value";
}

}  // namespace
}  // namespace quarlin::platform
