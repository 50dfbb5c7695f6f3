// The host-table adapter calls the documented entries with the documented
// arguments; the test host honours size, alignment and planned failures.
#include <gtest/gtest.h>

#include <cstring>

#include "api/host/host_services.h"
#include "tests/support/test_host.h"

namespace quarlin::test {
namespace {

// A host that records the last call of each entry.
struct Recorded {
  int entry = -1;
  int32_t kind = 0;
  uint32_t size = 0, alignment = 0;
  QuarlinMemoryHandle handle = nullptr;
  void* cacheRef = nullptr;
  int32_t blockIndex = 0;
};
Recorded recorded;
char memory[64];

int32_t recordAllocate(QuarlinMemoryHandle* out, int32_t kind, uint32_t size, uint32_t alignment) {
  recorded = Recorded{1, kind, size, alignment};
  *out = reinterpret_cast<QuarlinMemoryHandle>(0x1230);
  return 0;
}
int32_t recordLock(QuarlinMemoryHandle handle, int32_t kind, void** address) {
  recorded = Recorded{};
  recorded.entry = 11, recorded.kind = kind, recorded.handle = handle;
  *address = memory;
  return 5;  // passed through untouched
}
void recordRelease(QuarlinMemoryHandle handle) {
  recorded = Recorded{};
  recorded.entry = 10, recorded.handle = handle;
}
void recordInsert(void* cacheRef, QuarlinMemoryHandle handle, int32_t blockIndex) {
  recorded = Recorded{};
  recorded.entry = 22, recorded.cacheRef = cacheRef, recorded.handle = handle;
  recorded.blockIndex = blockIndex;
}
int32_t recordLookup(void* cacheRef, int32_t blockIndex, QuarlinMemoryHandle* out) {
  recorded = Recorded{};
  recorded.entry = 23, recorded.cacheRef = cacheRef, recorded.blockIndex = blockIndex;
  *out = reinterpret_cast<QuarlinMemoryHandle>(0x4560);
  return 0;
}

TEST(HostServicesTest, EachCallGoesThroughItsEntryWithKind2) {
  const QuarlinCacheSuite cache{nullptr, nullptr, recordInsert, recordLookup};
  const QuarlinMemorySuite memorySuite{nullptr, recordAllocate};
  const QuarlinHandleSuite handles{recordRelease, recordLock};
  int cacheObject = 0;
  const HostServices services{&cache, &memorySuite, &handles, &cacheObject};
  const auto handle = reinterpret_cast<QuarlinMemoryHandle>(0x1230);

  QuarlinMemoryHandle out = nullptr;
  EXPECT_EQ(host::allocate(services, &out, 65536, 512), 0);
  EXPECT_EQ(recorded.entry, 1);
  EXPECT_EQ(recorded.kind, 2);
  EXPECT_EQ(recorded.size, 65536u);
  EXPECT_EQ(recorded.alignment, 512u);
  EXPECT_EQ(out, handle);

  void* address = nullptr;
  EXPECT_EQ(host::lock(services, handle, &address), 5);
  EXPECT_EQ(recorded.entry, 11);
  EXPECT_EQ(recorded.kind, 2);
  EXPECT_EQ(recorded.handle, handle);
  EXPECT_EQ(address, memory);

  host::release(services, handle);
  EXPECT_EQ(recorded.entry, 10);
  EXPECT_EQ(recorded.handle, handle);

  host::cacheInsert(services, handle, 77);
  EXPECT_EQ(recorded.entry, 22);
  EXPECT_EQ(recorded.cacheRef, &cacheObject);
  EXPECT_EQ(recorded.blockIndex, 77);

  EXPECT_EQ(host::cacheLookup(services, 78, &out), 0);
  EXPECT_EQ(recorded.entry, 23);
  EXPECT_EQ(recorded.cacheRef, &cacheObject);
  EXPECT_EQ(recorded.blockIndex, 78);
  EXPECT_EQ(out, reinterpret_cast<QuarlinMemoryHandle>(0x4560));
}

TEST(TestHostTest, MemoryHasTheAskedSizeAndAlignment) {
  const HostServices& services = testHostServices();
  const int64_t live = testHostLiveAllocations();
  for (const uint32_t alignment : {1u, 16u, 512u, 4096u, 131072u}) {
    QuarlinMemoryHandle handle = nullptr;
    ASSERT_EQ(host::allocate(services, &handle, 1000, alignment), 0);
    void* first = nullptr;
    void* second = nullptr;
    ASSERT_EQ(host::lock(services, handle, &first), 0);
    ASSERT_EQ(host::lock(services, handle, &second), 0);
    EXPECT_EQ(first, second) << "a stable address";
    EXPECT_EQ(reinterpret_cast<uintptr_t>(first) % alignment, 0u);
    std::memset(first, 0, 1000);  // the whole size is usable
    EXPECT_EQ(testHostLiveAllocations(), live + 1);
    host::release(services, handle);
    EXPECT_EQ(testHostLiveAllocations(), live);
  }
}

TEST(TestHostTest, PlannedFailuresHitTheRightCalls) {
  const HostServices& services = testHostServices();
  testHostFailAllocate(2, 1);
  QuarlinMemoryHandle handles[4] = {};
  const int32_t expected[4] = {0, -1, -1, 0};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(host::allocate(services, &handles[i], 16, 16), expected[i]);
  testHostFailLock(1);
  void* address = nullptr;
  EXPECT_EQ(host::lock(services, handles[0], &address), -1);
  EXPECT_EQ(host::lock(services, handles[0], &address), 0);
  host::release(services, handles[0]);
  host::release(services, handles[3]);
  testHostClearFailures();
}

TEST(TestHostTest, MisuseIsCountedNotFatal) {
  const HostServices& services = testHostServices();
  const int64_t misuses = testHostMisuseCount();
  QuarlinMemoryHandle handle = nullptr;
  ASSERT_EQ(host::allocate(services, &handle, 16, 16), 0);
  host::release(services, handle);
  host::release(services, handle);  // released twice
  void* address = nullptr;
  EXPECT_NE(host::lock(services, handle, &address), 0);
  EXPECT_NE(services.memorySuite->allocate(&handle, 1, 16, 16), 0);  // wrong kind
  EXPECT_NE(host::allocate(services, &handle, 16, 24), 0);           // not a power of two
  EXPECT_EQ(testHostMisuseCount(), misuses + 4);
}

TEST(TestHostTest, Utf16OfUtf8Paths) {
  EXPECT_EQ(u16("/tmp/a.mpg"), std::u16string(u"/tmp/a.mpg"));
  EXPECT_EQ(u16("\xC3\xA9t\xC3\xA9"), std::u16string(u"\u00E9t\u00E9"));
  EXPECT_EQ(u16("\xE2\x82\xAC"), std::u16string(u"\u20AC"));
  EXPECT_EQ(u16("\xF0\x9F\x8E\xAC"), std::u16string(u"\U0001F3AC"));
  EXPECT_EQ(u16("a\xFF" "b"), std::u16string(u"a\uFFFDb"));
  EXPECT_EQ(u16("\xE2\x82"), std::u16string(u"\uFFFD\uFFFD"));
}

}  // namespace
}  // namespace quarlin::test
