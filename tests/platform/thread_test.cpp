// Threads, the completion queue, files and paths of the platform layer.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "platform/completion_port.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace quarlin::platform {
namespace {

uint32_t waitForRelease(void* argument) {
  static_cast<Event*>(argument)->wait(-1);
  return 0;
}

TEST(ThreadTest, WaitTimesOutWhileTheThreadRunsThenSucceeds) {
  Event release;
  ThreadHandle thread = createThread(waitForRelease, &release, u"TestWorker");
  ASSERT_TRUE(thread.valid());
  EXPECT_FALSE(waitForThreads(&thread, 1, 30));
  release.set();
  EXPECT_TRUE(waitForThreads(&thread, 1, -1));
  EXPECT_TRUE(waitForThreads(&thread, 1, 0)) << "an ended thread stays ended";
  closeThread(thread);
  EXPECT_FALSE(thread.valid());
}

uint32_t storeArgument(void* argument) {
  *static_cast<int*>(argument) = 42;
  return 7;
}

TEST(ThreadTest, ManyThreadsRunTheirProcedureAtEitherPriority) {
  int results[6] = {};
  ThreadHandle threads[6];
  for (int i = 0; i < 6; ++i)
    threads[i] = createThread(storeArgument, &results[i], nullptr,
                              i % 2 ? ThreadPriority::BelowNormal : ThreadPriority::Normal);
  EXPECT_TRUE(waitForThreads(threads, 6, 10000));
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(results[i], 42);
    closeThread(threads[i]);
  }
  EXPECT_GE(processorCount(), 1);
}

TEST(ThreadTest, ClosingTheHandleOfARunningThreadLetsItFinish) {
  Event release, done;
  struct Work {
    Event* release;
    Event* done;
  } work{&release, &done};
  ThreadHandle thread = createThread(
      [](void* argument) -> uint32_t {
        auto* w = static_cast<Work*>(argument);
        w->release->wait(-1);
        w->done->set();
        return 0;
      },
      &work, u"Detached");
  closeThread(thread);
  release.set();
  EXPECT_TRUE(done.wait(10000));
}

TEST(CompletionPortTest, DeliversPostsInOrderAcrossThreads) {
  struct Context {
    CompletionPort port;
    std::vector<void*> seen;
  } context;
  int requests[3];
  ThreadHandle waiter = createThread(
      [](void* argument) -> uint32_t {
        auto* c = static_cast<Context*>(argument);
        for (int i = 0; i < 4; ++i) {
          uint32_t bytes = 0;
          void* key = nullptr;
          void* request = nullptr;
          if (c->port.wait(bytes, key, request)) c->seen.push_back(request);
        }
        return 0;
      },
      &context, nullptr);
  CompletionPort& port = context.port;
  const std::vector<void*>& seen = context.seen;
  for (int& r : requests) port.post(100, &port, &r);
  port.post(0, nullptr, nullptr);  // the empty completion that wakes a waiter
  ASSERT_TRUE(waitForThreads(&waiter, 1, 10000));
  closeThread(waiter);
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0], &requests[0]);
  EXPECT_EQ(seen[2], &requests[2]);
  EXPECT_EQ(seen[3], nullptr);
}

class FileTest : public ::testing::Test {
 protected:
  void write(const std::string& path, size_t size) {
    bytes_.resize(size);
    for (size_t i = 0; i < size; ++i) bytes_[i] = static_cast<uint8_t>(i * 7 + 3);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes_.data()),
                                                static_cast<std::streamsize>(size));
  }
  std::vector<uint8_t> bytes_;
};

TEST_F(FileTest, AlignedReadsOnDiskAndTmpfsIncludingTheShortLastRead) {
  for (const std::string dir : {"/tmp", "/dev/shm"}) {
    SCOPED_TRACE(dir);
    const std::string name = dir + "/quarlin-platform-" + std::to_string(getpid());
    write(name, 3 * 4096 + 100);
    std::u16string path(name.begin(), name.end());
    FileHandle file;
    ASSERT_TRUE(openFileUnbuffered(path.c_str(), FileAccess::Synchronous, file));
    int64_t size = 0;
    ASSERT_TRUE(fileSize(file, size));
    EXPECT_EQ(size, 3 * 4096 + 100);
    void* block = ::operator new(65536, std::align_val_t(4096));
    uint32_t got = 0;
    ASSERT_TRUE(readAt(file, 4096, block, 65536, got));
    EXPECT_EQ(got, 2u * 4096 + 100);
    EXPECT_EQ(0, std::memcmp(block, bytes_.data() + 4096, got));
    ASSERT_TRUE(readAt(file, 65536, block, 65536, got));
    EXPECT_EQ(got, 0u) << "past the end";
    ::operator delete(block, std::align_val_t(4096));
    closeFile(file);
    EXPECT_FALSE(file.valid());
    uint32_t perCluster = 0, sector = 0, freeClusters = 0, total = 0;
    ASSERT_TRUE(diskFreeSpace(path.c_str(), perCluster, sector, freeClusters, total));
    EXPECT_GE(sector, 512u);
    EXPECT_EQ(sector & (sector - 1), 0u) << "a power of two";
    std::remove(name.c_str());
  }
}

TEST_F(FileTest, OnlyExistingRegularFilesOpen) {
  FileHandle file;
  for (const char16_t* path : {u"/tmp/quarlin-definitely-missing", u"/tmp", u""}) {
    EXPECT_FALSE(openFileUnbuffered(path, FileAccess::Overlapped, file));
    EXPECT_FALSE(file.valid());
  }
  uint32_t got = 0;
  char buffer[16];
  EXPECT_FALSE(readAt(file, 0, buffer, 16, got));
  int64_t size = 0;
  EXPECT_FALSE(fileSize(file, size));
}

TEST(PathTest, Utf8OfUtf16) {
  EXPECT_EQ(utf8FromUtf16(u"/tmp/x.m2v"), "/tmp/x.m2v");
  EXPECT_EQ(utf8FromUtf16(u"\u00E9\u20AC"), "\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(utf8FromUtf16(u"\U0001F3AC"), "\xF0\x9F\x8E\xAC");
  const char16_t lone[] = {u'a', 0xD800, u'b', 0};
  EXPECT_EQ(utf8FromUtf16(lone), "a\xEF\xBF\xBD" "b");
  const char16_t trailing[] = {0xD83C, 0};
  EXPECT_EQ(utf8FromUtf16(trailing), "\xEF\xBF\xBD");
  EXPECT_EQ(utf8FromUtf16(nullptr), "");
}

}  // namespace
}  // namespace quarlin::platform
