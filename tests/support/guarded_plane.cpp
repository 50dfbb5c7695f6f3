#include "tests/support/guarded_plane.h"

#include <sanitizer/asan_interface.h>  // its poisoning does nothing outside AddressSanitizer builds
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <new>
#include <utility>

namespace quarlin::test {

namespace {
constexpr size_t kFrontGuard = 1024;
// Guard byte i: a pattern no plausible sample run repeats by chance.
uint8_t guardByte(size_t i) { return static_cast<uint8_t>(0xA5 ^ (i * 37)); }
}  // namespace

GuardedPlane::GuardedPlane(size_t size, uint8_t fill) : size_(size) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  mappingSize_ = (size + kFrontGuard + page - 1) / page * page + page;
  void* m = mmap(nullptr, mappingSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) throw std::bad_alloc();
  mapping_ = static_cast<uint8_t*>(m);
  if (mprotect(mapping_ + mappingSize_ - page, page, PROT_NONE) != 0) {
    munmap(mapping_, mappingSize_);
    throw std::bad_alloc();
  }
  data_ = mapping_ + mappingSize_ - page - size;
  std::memset(data_, fill, size);
  for (size_t i = 0; i < kFrontGuard; ++i) (data_ - kFrontGuard)[i] = guardByte(i);
  ASAN_POISON_MEMORY_REGION(data_ - kFrontGuard, kFrontGuard);
}

bool GuardedPlane::frontGuardIntact() const {
  if (!mapping_) return true;
  ASAN_UNPOISON_MEMORY_REGION(data_ - kFrontGuard, kFrontGuard);
  bool intact = true;
  for (size_t i = 0; i < kFrontGuard; ++i) intact = intact && (data_ - kFrontGuard)[i] == guardByte(i);
  ASAN_POISON_MEMORY_REGION(data_ - kFrontGuard, kFrontGuard);
  return intact;
}

GuardedPlane::GuardedPlane(const GuardedPlane& other) : GuardedPlane(other.size_, 0) {
  if (size_ != 0) std::memcpy(data_, other.data_, size_);
}

GuardedPlane& GuardedPlane::operator=(GuardedPlane other) {
  std::swap(mapping_, other.mapping_);
  std::swap(mappingSize_, other.mappingSize_);
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  return *this;
}

GuardedPlane::~GuardedPlane() {
  if (!mapping_) return;
  ASAN_UNPOISON_MEMORY_REGION(data_ - kFrontGuard, kFrontGuard);
  munmap(mapping_, mappingSize_);
}

bool GuardedPlane::operator==(const GuardedPlane& other) const {
  return size_ == other.size_ && (size_ == 0 || std::memcmp(data_, other.data_, size_) == 0);
}

}  // namespace quarlin::test
