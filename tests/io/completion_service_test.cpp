// The completion service shared by all readers: started by the first open,
// stopped by the last close, and its request hooks.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "foundation/host/host_services.h"
#include "tests/io/reader_test_support.h"

namespace quarlin::test {
namespace {

using completion_service::diagnostics;

class CompletionServiceTest : public ReaderTest {
 protected:
  void SetUp() override {
    ReaderTest::SetUp();
    ASSERT_FALSE(diagnostics().running) << "another test left a reader open";
  }

  // A host block as the read-ahead path would take it.
  QuarlinMemoryHandle hostBlock() {
    QuarlinMemoryHandle handle = nullptr;
    EXPECT_EQ(host::allocate(testHostServices(), &handle, 4096, 4096), 0);
    return handle;
  }

  // Waits (at most 10 s) until the completion thread has emptied the
  // pending list.
  static bool pendingDrained() {
    for (int i = 0; i < 1000; ++i) {
      if (diagnostics().pendingRequests == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  const std::vector<uint8_t> bytes_ = patternBytes(5000);
  TempFile file_{diskDirectory(), bytes_};
};

TEST_F(CompletionServiceTest, TwoReadersShareOneServiceThatStopsOnce) {
  const auto start = diagnostics();
  {
    AsyncFileReader first(testHostServices());
    AsyncFileReader second(testHostServices());
    ASSERT_EQ(first.open(file_.u16path()), 0);
    auto d = diagnostics();
    EXPECT_TRUE(d.running);
    EXPECT_EQ(d.starts, start.starts + 1);
    EXPECT_EQ(d.openReaders, 1);
    EXPECT_EQ(d.freeRequests, kReadRequestCount);
    EXPECT_EQ(d.pendingRequests, 0);

    ASSERT_EQ(second.open(file_.u16path()), 0);
    d = diagnostics();
    EXPECT_EQ(d.starts, start.starts + 1) << "the second reader reuses the service";
    EXPECT_EQ(d.openReaders, 2);

    // Both read independently.
    uint8_t a = 0, b = 0;
    second.skip(100);
    ASSERT_EQ(first.readByte(a), 0);
    ASSERT_EQ(second.readByte(b), 0);
    EXPECT_EQ(a, bytes_[0]);
    EXPECT_EQ(b, bytes_[100]);

    first.close();
    d = diagnostics();
    EXPECT_TRUE(d.running);
    EXPECT_EQ(d.stops, start.stops);
    EXPECT_EQ(d.openReaders, 1);
  }  // the second reader's destructor closes it
  const auto end = diagnostics();
  EXPECT_FALSE(end.running);
  EXPECT_EQ(end.stops, start.stops + 1);
  EXPECT_EQ(end.openReaders, 0);

  AsyncFileReader again(testHostServices());
  ASSERT_EQ(again.open(file_.u16path()), 0);
  EXPECT_EQ(diagnostics().starts, start.starts + 2) << "a later open starts a fresh service";
}

TEST_F(CompletionServiceTest, ReadersOpeningAndClosingOnManyThreadsKeepTheCountExact) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([this] {
      for (int i = 0; i < 50; ++i) {
        AsyncFileReader reader(testHostServices());
        EXPECT_EQ(reader.open(file_.u16path()), 0);
        uint8_t byte = 0;
        EXPECT_EQ(reader.readByte(byte), 0);
        EXPECT_EQ(byte, bytes_[0]);
      }
    });
  for (auto& thread : threads) thread.join();
  const auto d = diagnostics();
  EXPECT_FALSE(d.running);
  EXPECT_EQ(d.openReaders, 0);
  EXPECT_EQ(d.starts, d.stops);
}

TEST_F(CompletionServiceTest, CancelledRequestIsReleasedWithoutCaching) {
  AsyncFileReader reader(testHostServices());
  AsyncFileReader other(testHostServices());
  ASSERT_EQ(reader.open(file_.u16path()), 0);
  ASSERT_EQ(other.open(file_.u16path()), 0);
  const int64_t cacheCalls = testHostCacheCalls();
  ReadRequest* mine = completion_service::startRequest(&reader, hostBlock(), 1, kBlock);
  ReadRequest* theirs = completion_service::startRequest(&other, hostBlock(), 1, kBlock);
  ASSERT_NE(mine, nullptr);
  ASSERT_NE(theirs, nullptr);
  reader.cancelPending();
  EXPECT_TRUE(mine->cancelled);
  EXPECT_FALSE(theirs->cancelled) << "only the reader's own requests";
  completion_service::postCompletion(mine, 4096);
  completion_service::postCompletion(theirs, 4096);
  ASSERT_TRUE(pendingDrained());
  EXPECT_EQ(testHostCacheCalls(), cacheCalls + 1);
  EXPECT_EQ(testHostLiveAllocations(), liveAtStart_);
}

TEST_F(CompletionServiceTest, StoppingDropsPendingRequestsAndTheirBlocks) {
  {
    AsyncFileReader reader(testHostServices());
    ASSERT_EQ(reader.open(file_.u16path()), 0);
    for (int i = 0; i < 3; ++i)
      ASSERT_NE(completion_service::startRequest(&reader, hostBlock(), i, i * kBlock), nullptr);
    EXPECT_EQ(diagnostics().pendingRequests, 3);
  }
  EXPECT_FALSE(diagnostics().running);
  EXPECT_EQ(completion_service::startRequest(nullptr, nullptr, 0, 0), nullptr)
      << "no requests without a service";
}

}  // namespace
}  // namespace quarlin::test
