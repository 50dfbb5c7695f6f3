// The foundation library services: allocators, registered threads, the disk
// query. (Its locks are the platform's critical sections.)
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <thread>
#include <vector>

#include "foundation/kelso/allocator.h"
#include "foundation/kelso/disk_utils.h"
#include "foundation/kelso/stl_allocator.h"
#include "foundation/kelso/thread_manager.h"

namespace {

TEST(KelsoAllocatorTest, OneObjectPerBlockSizeAcrossThreads) {
  Kelso::Allocator* seen[8] = {};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&seen, t] { seen[t] = Kelso::Allocator::GetAllocator(4); });
  for (auto& thread : threads) thread.join();
  for (Kelso::Allocator* a : seen) EXPECT_EQ(a, seen[0]);
  EXPECT_NE(Kelso::Allocator::GetAllocator(8), seen[0]);
  EXPECT_EQ(Kelso::Allocator::GetAllocator(8), Kelso::Allocator::GetAllocator(8));
}

TEST(KelsoAllocatorTest, BlocksAreUsableAndCounted) {
  Kelso::Allocator* counts = Kelso::Allocator::GetAllocator(4);
  const int64_t live = Kelso::Allocator::LiveBlocks();
  std::vector<int32_t*> blocks;
  for (int i = 0; i < 100; ++i) {
    auto* block = static_cast<int32_t*>(counts->AllocateBlock(4));
    ASSERT_NE(block, nullptr);
    ASSERT_EQ(reinterpret_cast<uintptr_t>(block) % alignof(int32_t), 0u);
    *block = i;
    blocks.push_back(block);
  }
  EXPECT_EQ(Kelso::Allocator::LiveBlocks(), live + 100);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(*blocks[i], i) << "blocks do not overlap";
  for (int32_t* block : blocks) counts->FreeBlock(block);
  counts->FreeBlock(nullptr);
  EXPECT_EQ(Kelso::Allocator::LiveBlocks(), live);

  void* big = Kelso::Allocator::Allocate(100000);
  EXPECT_EQ(Kelso::Allocator::LiveBlocks(), live + 1);
  Kelso::Allocator::Dispose(big, 100000);
  Kelso::Allocator::Dispose(nullptr, 0);
  EXPECT_EQ(Kelso::Allocator::LiveBlocks(), live);
}

// Sanitizers report huge requests as errors instead of throwing.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST(KelsoAllocatorTest, ExhaustionSurfacesAsBadAlloc) {
  EXPECT_THROW(Kelso::Allocator::Allocate(SIZE_MAX / 2), std::bad_alloc);
  Kelso::STLAllocator<int64_t> allocator;
  EXPECT_THROW(allocator.allocate(SIZE_MAX / 4), std::bad_alloc);
}
#endif

TEST(KelsoAllocatorTest, ContainersGiveBackEverything) {
  const int64_t live = Kelso::Allocator::LiveBlocks();
  {
    Kelso::WString path(u"/media/clips/");
    for (int i = 0; i < 50; ++i) path += u"long-directory-name/";
    EXPECT_EQ(path.size(), 13u + 50u * 20u);
    Kelso::Map<int64_t, int32_t> positions;
    Kelso::Vector<int64_t> offsets;
    for (int i = 0; i < 1000; ++i) {
      positions[i * 7] = i;
      offsets.push_back(i);
    }
    EXPECT_EQ(positions.at(700), 100);
    EXPECT_GT(Kelso::Allocator::LiveBlocks(), live);
  }
  EXPECT_EQ(Kelso::Allocator::LiveBlocks(), live);
}

TEST(KelsoThreadManagerTest, RegisteredThreadRunsItsProcedure) {
  std::atomic<int> ran{0};
  auto procedure = [](void* argument) -> uint32_t {
    static_cast<std::atomic<int>*>(argument)->fetch_add(1);
    return 0;
  };
  quarlin::platform::ThreadHandle thread = Kelso::ThreadManager::CreateRegisteredThread(
      procedure, &ran, u"SliceDecoderThread", u"Quarlin");
  ASSERT_TRUE(thread.valid());
  EXPECT_TRUE(quarlin::platform::waitForThreads(&thread, 1, 10000));
  quarlin::platform::closeThread(thread);
  EXPECT_EQ(ran.load(), 1);
  EXPECT_FALSE(
      Kelso::ThreadManager::CreateRegisteredThread(nullptr, nullptr, u"x", u"y").valid());
}

TEST(KelsoDiskUtilsTest, SectorSizeOfExistingVolumesOnly) {
  uint32_t perCluster = 0, sector = 0, freeClusters = 0, total = 0;
  ASSERT_EQ(Kelso::DiskUtils::GetDiskFreeSpaceFromPath(u"/tmp", &perCluster, &sector,
                                                       &freeClusters, &total),
            0);
  EXPECT_GE(sector, 512u);
  EXPECT_EQ(sector & (sector - 1), 0u);
  EXPECT_GE(total, freeClusters);
  EXPECT_EQ(Kelso::DiskUtils::GetDiskFreeSpaceFromPath(u"/tmp", nullptr, &sector, nullptr, nullptr),
            0);
  sector = 1234;
  EXPECT_LT(Kelso::DiskUtils::GetDiskFreeSpaceFromPath(u"/no/such/volume/file.mpg", nullptr,
                                                       &sector, nullptr, nullptr),
            0);
  EXPECT_EQ(sector, 1234u) << "left alone on failure";
  EXPECT_LT(Kelso::DiskUtils::GetDiskFreeSpaceFromPath(nullptr, nullptr, &sector, nullptr, nullptr),
            0);
}

}  // namespace
