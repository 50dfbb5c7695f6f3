// Events, waits for several events, locks and interlocked counts: the
// semantics the worker pool and the shared references rely on.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/sync.h"

namespace quarlin::platform {
namespace {

TEST(EventTest, AutoResetAndWakesAWaitFromAnotherThread) {
  Event event;
  EXPECT_FALSE(event.wait(0)) << "created non-signalled";
  event.set();
  event.set();  // a second set before the wait does not stack
  EXPECT_TRUE(event.wait(0));
  EXPECT_FALSE(event.wait(0)) << "auto-reset";
  EXPECT_FALSE(event.wait(20)) << "times out";
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
  std::thread setter([&] {
    for (Event* e : set) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      e->set();
    }
  });
  EXPECT_TRUE(waitForAll(set, 3, 10000));
  setter.join();
  for (Event* e : set) EXPECT_FALSE(e->wait(0)) << "each was consumed";
}

TEST(CriticalSectionTest, RecursiveForItsOwnerExclusiveForOthers) {
  CriticalSection lock;
  lock.enter();
  EXPECT_TRUE(lock.tryEnter()) << "recursive on the owning thread";
  bool otherGotIt = true;
  lock.leave();
  std::thread([&] { otherGotIt = lock.tryEnter(); }).join();
  EXPECT_FALSE(otherGotIt) << "still held once";
  lock.leave();
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
