// Host picture planes with guard zones on both sides. The guards hold a
// pattern that is checked after every call; in AddressSanitizer builds they
// are also poisoned, so a read or write that strays into them is reported at
// the faulting instruction.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "quarlin/quarlin.h"

namespace quarlin::robust {

// Fresh planes hold this sample, so decoded and undecoded areas differ.
constexpr uint8_t kFreshSample = 0x5A;

// The byte sizes a host gives the planes of one picture (those
// Quarlin_GetFrameSizes reports).
struct PlaneSizes {
  size_t luma = 0;
  size_t chroma = 0;
};

class GuardedPlane {
 public:
  static constexpr size_t kGuard = 1024;  // bytes on each side; a multiple of 128

  GuardedPlane(size_t size, uint8_t fill);
  ~GuardedPlane();
  GuardedPlane(const GuardedPlane&) = delete;
  GuardedPlane& operator=(const GuardedPlane&) = delete;

  uint8_t* data() { return block_ + kGuard; }
  const uint8_t* data() const { return block_ + kGuard; }
  size_t size() const { return size_; }
  // True while both guards hold their pattern.
  bool guardsIntact() const;

 private:
  void poison(bool on) const;
  std::unique_ptr<uint8_t[]> storage_;
  uint8_t* block_;  // 128-byte aligned inside storage_
  size_t size_;
};

// The Y, Cb and Cr planes of one picture.
class GuardedPicture {
 public:
  GuardedPicture(const PlaneSizes& sizes, uint8_t fill);
  PlaneSet planeSet();
  // Empty when the guards hold; otherwise which plane's guard was hit.
  std::string damagedGuards() const;
  size_t bytes() const { return y_.size() + cb_.size() + cr_.size(); }

 private:
  GuardedPlane y_, cb_, cr_;
};

}  // namespace quarlin::robust
