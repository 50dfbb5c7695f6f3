// One host picture plane of exactly the size Quarlin_GetFrameSizes reports,
// ending where an inaccessible page begins: any read or write past its end
// faults at the offending instruction. Before its start lie guard bytes of
// a known pattern (poisoned in AddressSanitizer builds, which then report a
// stray access there at once).
#pragma once
#include <cstddef>
#include <cstdint>

namespace quarlin::test {

class GuardedPlane {
 public:
  GuardedPlane() = default;
  GuardedPlane(size_t size, uint8_t fill);
  GuardedPlane(const GuardedPlane& other);
  GuardedPlane& operator=(GuardedPlane other);
  ~GuardedPlane();

  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  const uint8_t* begin() const { return data_; }
  const uint8_t* end() const { return data_ + size_; }
  uint8_t operator[](size_t i) const { return data_[i]; }
  bool operator==(const GuardedPlane& other) const;
  // The guard bytes before the plane still hold their pattern.
  bool frontGuardIntact() const;

 private:
  uint8_t* mapping_ = nullptr;
  size_t mappingSize_ = 0;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace quarlin::test
