#include "tests/support/guarded_plane.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace quarlin::test {

namespace {
constexpr size_t kFrontGuard = 1024;

// Pages that can be read and written, and one of them made inaccessible.
#ifdef _WIN32
size_t pageSize() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwPageSize;
}
void* mapPages(size_t size) { return VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE); }
bool protectPage(void* page, size_t size) {
  DWORD old = 0;
  return VirtualProtect(page, size, PAGE_NOACCESS, &old) != 0;
}
void unmapPages(void* mapping, size_t) { VirtualFree(mapping, 0, MEM_RELEASE); }
#else
size_t pageSize() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }
void* mapPages(size_t size) {
  void* m = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return m == MAP_FAILED ? nullptr : m;
}
bool protectPage(void* page, size_t size) { return mprotect(page, size, PROT_NONE) == 0; }
void unmapPages(void* mapping, size_t size) { munmap(mapping, size); }
#endif

// Guard byte i: a pattern no plausible sample run repeats by chance.
uint8_t guardByte(size_t i) { return static_cast<uint8_t>(0xA5 ^ (i * 37)); }
}  // namespace

GuardedPlane::GuardedPlane(size_t size, uint8_t fill) : size_(size) {
  const size_t page = pageSize();
  mappingSize_ = (size + kFrontGuard + page - 1) / page * page + page;
  void* m = mapPages(mappingSize_);
  if (!m) throw std::bad_alloc();
  mapping_ = static_cast<uint8_t*>(m);
  if (!protectPage(mapping_ + mappingSize_ - page, page)) {
    unmapPages(mapping_, mappingSize_);
    throw std::bad_alloc();
  }
  data_ = mapping_ + mappingSize_ - page - size;
  std::memset(data_, fill, size);
  for (size_t i = 0; i < kFrontGuard; ++i) (data_ - kFrontGuard)[i] = guardByte(i);
  ASAN_POISON_MEMORY_REGION(data_ - kFrontGuard, kFrontGuard);
}

GuardedPlane::~GuardedPlane() {
  ASAN_UNPOISON_MEMORY_REGION(data_ - kFrontGuard, kFrontGuard);
  for (size_t i = 0; i < kFrontGuard; ++i) {
    if ((data_ - kFrontGuard)[i] == guardByte(i)) continue;
    std::fprintf(stderr, "a write %zu bytes before a guarded plane of %zu bytes\n", kFrontGuard - i, size_);
    std::abort();
  }
  unmapPages(mapping_, mappingSize_);
}

}  // namespace quarlin::test
