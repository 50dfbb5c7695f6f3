// The host service tables the tool lends the library.
#include "tools/host/host_services.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace quarlin::tool {
namespace {

TEST(HostServices, AllocatesWithTheAlignmentAskedAndLocksToTheSameAddress) {
  const HostServices& services = hostServices();
  const long before = liveMemoryBlocks();
  for (uint32_t alignment : {16u, 512u, 4096u}) {
    QuarlinMemoryHandle handle = nullptr;
    ASSERT_EQ(services.memorySuite->allocate(&handle, 2, 750000, alignment), 0);
    void* first = nullptr;
    void* second = nullptr;
    ASSERT_EQ(services.handleSuite->lock(handle, 2, &first), 0);
    ASSERT_EQ(services.handleSuite->lock(handle, 2, &second), 0);
    EXPECT_EQ(first, second);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(first) % alignment, 0u) << alignment;
    std::memset(first, 0xAB, 750000);  // the whole size is usable
    EXPECT_EQ(liveMemoryBlocks(), before + 1);
    services.handleSuite->release(handle);
    EXPECT_EQ(liveMemoryBlocks(), before);
  }
}

TEST(HostServices, RefusesAnAlignmentThatIsNoPowerOfTwo) {
  QuarlinMemoryHandle handle = nullptr;
  EXPECT_NE(hostServices().memorySuite->allocate(&handle, 2, 4096, 3000), 0);
}

}  // namespace
}  // namespace quarlin::tool
