// Threads, files and paths of the platform layer. (Reads of whole files, on
// disk and on tmpfs, and the completion queue are exercised by the file
// reader's tests.)
#include <gtest/gtest.h>

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
  EXPECT_GE(processorCount(), 1);
}

TEST(FileTest, OnlyExistingRegularFilesOpen) {
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
