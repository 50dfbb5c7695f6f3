// One host picture plane of exactly the size Quarlin_GetFrameSizes reports,
// ending where an inaccessible page begins: any read or write past its end
// faults at the offending instruction. Before its start lie guard bytes of
// a known pattern (poisoned in AddressSanitizer builds, which then report a
// stray access there at once); a plane whose guard bytes have changed aborts
// the process when it is freed.
#pragma once
#include <cstddef>
#include <cstdint>

#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>  // its poisoning does nothing outside AddressSanitizer builds
#else
#define ASAN_POISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#endif

namespace quarlin::test {

class GuardedPlane {
 public:
  GuardedPlane(size_t size, uint8_t fill);
  GuardedPlane(const GuardedPlane&) = delete;
  GuardedPlane& operator=(const GuardedPlane&) = delete;
  ~GuardedPlane();

  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  uint8_t* mapping_ = nullptr;
  size_t mappingSize_ = 0;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace quarlin::test
