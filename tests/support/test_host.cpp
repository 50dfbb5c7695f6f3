#include "tests/support/test_host.h"

#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <unordered_map>

#include "tests/support/guarded_plane.h"  // the sanitizer's poisoning

namespace quarlin::test {
namespace {

// Planned failures of one entry: skip `after` successes, then fail `count`.
struct FailurePlan {
  int32_t after = 0, count = 0;
  bool take() {  // true when this call must fail
    if (count <= 0) return false;
    if (after > 0) return --after, false;
    return --count, true;
  }
};

struct Block {
  void* memory;
  std::size_t size, alignment;
};

struct HostState {
  std::mutex mutex;
  std::unordered_map<QuarlinMemoryHandle, Block> live;
  // Released blocks kept for reuse (testHostRecycleLargeBlocks), by size and alignment.
  std::multimap<std::pair<std::size_t, std::size_t>, void*> kept;
  bool recycle = false;
  FailurePlan allocateFailures, lockFailures;
  int64_t allocateCount = 0, misuses = 0, cacheCalls = 0;
  uintptr_t handleSeed = 0;
};

HostState& state() {
  static HostState* host = new HostState;  // outlives every static object
  return *host;
}

int32_t hostAllocate(QuarlinMemoryHandle* out, int32_t kind, uint32_t size, uint32_t alignment) {
  HostState& host = state();
  std::lock_guard<std::mutex> hold(host.mutex);
  if (alignment == 0) alignment = 1;
  if (kind != 2 || (alignment & (alignment - 1)) != 0) return ++host.misuses, -1;
  if (host.allocateFailures.take()) return -1;
  const std::size_t bytes = size == 0 ? 1 : size;
  void* memory = nullptr;
  if (const auto kept = host.kept.find({bytes, alignment}); kept != host.kept.end()) {
    memory = kept->second;
    host.kept.erase(kept);
    ASAN_UNPOISON_MEMORY_REGION(memory, bytes);
  } else {
    memory = ::operator new(bytes, std::align_val_t(alignment), std::nothrow);
    if (!memory) return -1;
  }
  // Handles are opaque numbers, never the address: a caller must lock. A
  // reused block gets a new one, so that a released handle stays unknown.
  auto* handle = reinterpret_cast<QuarlinMemoryHandle>(++host.handleSeed << 4);
  std::memset(memory, 0xCD, bytes);  // so that code relying on zeroed blocks shows
  host.live.emplace(handle, Block{memory, bytes, alignment});
  ++host.allocateCount;
  *out = handle;
  return 0;
}

int32_t hostLock(QuarlinMemoryHandle handle, int32_t kind, void** outAddress) {
  HostState& host = state();
  std::lock_guard<std::mutex> hold(host.mutex);
  const auto found = host.live.find(handle);
  if (kind != 2 || found == host.live.end()) return ++host.misuses, -1;
  if (host.lockFailures.take()) return -1;
  *outAddress = found->second.memory;
  return 0;
}

void hostRelease(QuarlinMemoryHandle handle) {
  HostState& host = state();
  std::lock_guard<std::mutex> hold(host.mutex);
  const auto found = host.live.find(handle);
  if (found == host.live.end()) return void(++host.misuses);
  const Block block = found->second;
  host.live.erase(found);
  if (host.recycle && block.size >= 64 * 1024) {
    ASAN_POISON_MEMORY_REGION(block.memory, block.size);
    host.kept.insert({{block.size, block.alignment}, block.memory});
  } else {
    ::operator delete(block.memory, std::align_val_t(block.alignment));
  }
}

// `use` of the host's state under its lock.
template <class Use>
auto locked(Use use) {
  std::lock_guard<std::mutex> hold(state().mutex);
  return use(state());
}

void hostCacheInsert(void*, QuarlinMemoryHandle, int32_t) { locked([](HostState& h) { ++h.cacheCalls; }); }
int32_t hostCacheLookup(void*, int32_t, QuarlinMemoryHandle*) {
  locked([](HostState& h) { ++h.cacheCalls; });
  return -1;  // never cached
}

const QuarlinCacheSuite kCacheSuite{nullptr, nullptr, hostCacheInsert, hostCacheLookup};
const QuarlinMemorySuite kMemorySuite{nullptr, hostAllocate};
const QuarlinHandleSuite kHandleSuite{hostRelease, hostLock};
int cacheObject = 0;
const HostServices kServices{&kCacheSuite, &kMemorySuite, &kHandleSuite, &cacheObject};

}  // namespace

const HostServices& testHostServices() { return kServices; }

int64_t testHostLiveAllocations() { return locked([](HostState& h) { return int64_t(h.live.size()); }); }
int64_t testHostAllocateCount() { return locked([](HostState& h) { return h.allocateCount; }); }
int64_t testHostMisuseCount() { return locked([](HostState& h) { return h.misuses; }); }
int64_t testHostCacheCalls() { return locked([](HostState& h) { return h.cacheCalls; }); }

void testHostFailAllocate(int32_t count, int32_t after) {
  locked([=](HostState& h) { h.allocateFailures = FailurePlan{after, count}; });
}
void testHostFailLock(int32_t count, int32_t after) {
  locked([=](HostState& h) { h.lockFailures = FailurePlan{after, count}; });
}
void testHostRecycleLargeBlocks() { locked([](HostState& h) { h.recycle = true; }); }
void testHostClearFailures() { locked([](HostState& h) { h.allocateFailures = h.lockFailures = FailurePlan{}; }); }

std::u16string u16(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end())).u16string();
}

}  // namespace quarlin::test
