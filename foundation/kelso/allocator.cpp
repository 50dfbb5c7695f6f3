// The allocators are thin layers over the C++ heap, whose small-block paths
// are already pooled per thread; a pool of our own would only add a lock.
// Each live block is counted so that leaks show up in tests.
#include "foundation/kelso/allocator.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace Kelso {
namespace {

std::atomic<int64_t> liveBlocks{0};

class HeapBlockAllocator final : public Allocator {
 public:
  explicit HeapBlockAllocator(uint32_t blockSize) : blockSize_(blockSize) {}

  void* AllocateBlock(size_t size) override {
    void* block = ::operator new(std::max<size_t>(size, blockSize_), std::nothrow);
    if (block) liveBlocks.fetch_add(1, std::memory_order_relaxed);
    return block;
  }

  void FreeBlock(void* block) override {
    if (!block) return;
    liveBlocks.fetch_sub(1, std::memory_order_relaxed);
    ::operator delete(block);
  }

 private:
  const uint32_t blockSize_;
};

// One allocator per block size. The table and its objects live until the
// process ends (never destroyed, so that blocks freed by static destructors
// still find their allocator); only a handful of sizes ever occur.
struct AllocatorTable {
  std::mutex mutex;
  std::vector<std::pair<uint32_t, Allocator*>> bySize;
};

AllocatorTable& allocatorTable() {
  static AllocatorTable* table = new AllocatorTable;
  return *table;
}

}  // namespace

Allocator::~Allocator() = default;

Allocator* Allocator::GetAllocator(uint32_t blockSize) {
  AllocatorTable& table = allocatorTable();
  std::lock_guard<std::mutex> hold(table.mutex);
  for (const auto& [size, allocator] : table.bySize)
    if (size == blockSize) return allocator;
  table.bySize.reserve(table.bySize.size() + 1);  // so the push cannot throw
  Allocator* created = new HeapBlockAllocator(blockSize);
  table.bySize.emplace_back(blockSize, created);
  return created;
}

void* Allocator::Allocate(size_t size) {
  void* block = ::operator new(size);  // throws std::bad_alloc
  liveBlocks.fetch_add(1, std::memory_order_relaxed);
  return block;
}

void Allocator::Dispose(void* block, size_t) {
  if (!block) return;
  liveBlocks.fetch_sub(1, std::memory_order_relaxed);
  ::operator delete(block);
}

int64_t Allocator::LiveBlocks() { return liveBlocks.load(std::memory_order_relaxed); }

}  // namespace Kelso
