#include "tools/host/host_services.h"

#include <atomic>
#include <cstddef>
#include <mutex>
#include <new>
#include <vector>

namespace quarlin::tool {
namespace {

// What an entry of the service tables returns when it cannot serve.
constexpr int32_t kHostFailure = -1;

std::atomic<long> gLiveBlocks{0};

// What a memory handle stands for: the block, its size and alignment.
struct MemoryBlock {
  void* address;
  std::size_t size;
  std::align_val_t alignment;
};

// Released blocks kept for the next allocation of the same size and
// alignment: the library takes a fresh 750000-byte unit buffer for every
// frame, and a fresh allocation of that size costs a page fault per 4 KiB.
class SpareBlocks {
 public:
  MemoryBlock* take(std::size_t size, std::align_val_t alignment) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = blocks_.begin(); it != blocks_.end(); ++it) {
      if ((*it)->size == size && (*it)->alignment == alignment) {
        MemoryBlock* block = *it;
        blocks_.erase(it);
        return block;
      }
    }
    return nullptr;
  }

  // False when full: the caller frees the block.
  bool keep(MemoryBlock* block) {
    constexpr std::size_t kMaxBlocks = 8;
    std::lock_guard<std::mutex> lock(mutex_);
    if (blocks_.size() >= kMaxBlocks) return false;
    blocks_.push_back(block);
    return true;
  }

 private:
  std::mutex mutex_;
  std::vector<MemoryBlock*> blocks_;
};

SpareBlocks& spareBlocks() {
  static SpareBlocks* spares = new SpareBlocks;  // never destroyed: may be used until exit
  return *spares;
}

bool isPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

int32_t allocate(QuarlinMemoryHandle* outHandle, int32_t /*kind*/, uint32_t size, uint32_t alignment) {
  if (!outHandle) return kHostFailure;
  if (alignment < alignof(std::max_align_t)) alignment = alignof(std::max_align_t);
  if (!isPowerOfTwo(alignment)) return kHostFailure;
  const std::align_val_t align{alignment};
  MemoryBlock* block = spareBlocks().take(size, align);
  if (!block) {
    void* address = ::operator new(size == 0 ? 1 : size, align, std::nothrow);
    if (!address) return kHostFailure;
    block = new (std::nothrow) MemoryBlock{address, size, align};
    if (!block) {
      ::operator delete(address, align);
      return kHostFailure;
    }
  }
  gLiveBlocks.fetch_add(1, std::memory_order_relaxed);
  *outHandle = block;
  return 0;
}

void release(QuarlinMemoryHandle handle) {
  if (!handle) return;
  auto* block = static_cast<MemoryBlock*>(handle);
  if (!spareBlocks().keep(block)) {
    ::operator delete(block->address, block->alignment);
    delete block;
  }
  gLiveBlocks.fetch_sub(1, std::memory_order_relaxed);
}

int32_t lock(QuarlinMemoryHandle handle, int32_t /*kind*/, void** outAddress) {
  if (!handle || !outAddress) return kHostFailure;
  *outAddress = static_cast<MemoryBlock*>(handle)->address;
  return 0;
}

void cacheInsert(void* /*cacheRef*/, QuarlinMemoryHandle /*handle*/, int32_t /*blockIndex*/) {}

int32_t cacheLookup(void* /*cacheRef*/, int32_t /*blockIndex*/, QuarlinMemoryHandle* /*outHandle*/) {
  return kHostFailure;  // never found: the host keeps no blocks
}

const QuarlinMemorySuite kMemorySuite{nullptr, allocate};
const QuarlinHandleSuite kHandleSuite{release, lock};
const QuarlinCacheSuite kCacheSuite{nullptr, nullptr, cacheInsert, cacheLookup};
int gCacheObject = 0;  // the cache object is only ever passed back to the table
const HostServices kServices{&kCacheSuite, &kMemorySuite, &kHandleSuite, &gCacheObject};

}  // namespace

const HostServices& hostServices() { return kServices; }

long liveMemoryBlocks() { return gLiveBlocks.load(std::memory_order_relaxed); }

}  // namespace quarlin::tool
