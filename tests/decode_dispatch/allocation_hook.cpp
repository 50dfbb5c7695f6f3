#include "tests/decode_dispatch/allocation_hook.h"

#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace quarlin::test {
namespace {

std::atomic<bool> workersFail{false};
std::atomic<int64_t> failed{0};
// Allocations still to pass on this thread before one fails; -1 unarmed.
thread_local int32_t passesLeft = -1;

// Workers are named after the pool's thread name (truncated by the system).
bool onWorkerThread() {
  char name[16] = {};
  pthread_getname_np(pthread_self(), name, sizeof name);
  return std::strncmp(name, "SliceDecoder", 12) == 0;
}

void* allocate(std::size_t size) {
  if ((workersFail.load(std::memory_order_relaxed) && onWorkerThread()) || (passesLeft >= 0 && passesLeft-- == 0)) {
    failed.fetch_add(1);
    return nullptr;
  }
  return std::malloc(size ? size : 1);
}

}  // namespace

void failAllocationsOnWorkers(bool on) { workersFail = on; }

void failAllocationOnThisThread(int32_t skip) { passesLeft = skip; }

void clearAllocationFailures() {
  workersFail = false;
  passesLeft = -1;
}

int64_t failedAllocations() { return failed.load(); }

}  // namespace quarlin::test

using quarlin::test::allocate;

// The replaceable allocation functions: malloc and free underneath, with the
// failures above. (Aligned forms are left to the library.)
void* operator new(std::size_t size) {
  if (void* p = allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

// Under LeakSanitizer: blocks only an injected failure strands, the StreamBuffer
// whose reference count could not be allocated and a test-host block whose
// bookkeeping threw after the allocation.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
  return "leak:quarlin::createSharedBuffer\nleak:hostAllocate\n";
}
