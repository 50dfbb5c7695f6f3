#include "tests/robustness/guarded_planes.h"

// Its poisoning macros do nothing outside AddressSanitizer builds.
#include <sanitizer/asan_interface.h>

#include <cstring>

namespace quarlin::robust {

namespace {
constexpr size_t kAlignment = 128;

// Guard byte i: a pattern no plausible sample run repeats by chance.
uint8_t guardByte(size_t i) { return static_cast<uint8_t>(0xA5 ^ (i * 37)); }
}  // namespace

GuardedPlane::GuardedPlane(size_t size, uint8_t fill)
    : storage_(new uint8_t[size + 2 * kGuard + kAlignment]), size_(size) {
  const auto address = reinterpret_cast<uintptr_t>(storage_.get());
  block_ = storage_.get() + ((kAlignment - address % kAlignment) % kAlignment);
  for (size_t i = 0; i < kGuard; ++i) {
    block_[i] = guardByte(i);
    block_[kGuard + size_ + i] = guardByte(i + kGuard);
  }
  std::memset(block_ + kGuard, fill, size_);
  poison(true);
}

GuardedPlane::~GuardedPlane() { poison(false); }

void GuardedPlane::poison(bool on) const {
  if (on) {
    ASAN_POISON_MEMORY_REGION(block_, kGuard);
    ASAN_POISON_MEMORY_REGION(block_ + kGuard + size_, kGuard);
  } else {
    ASAN_UNPOISON_MEMORY_REGION(block_, kGuard);
    ASAN_UNPOISON_MEMORY_REGION(block_ + kGuard + size_, kGuard);
  }
}

bool GuardedPlane::guardsIntact() const {
  poison(false);
  bool intact = true;
  for (size_t i = 0; i < kGuard && intact; ++i)
    intact = block_[i] == guardByte(i) && block_[kGuard + size_ + i] == guardByte(i + kGuard);
  poison(true);
  return intact;
}

GuardedPicture::GuardedPicture(const PlaneSizes& sizes, uint8_t fill)
    : y_(sizes.luma, fill), cb_(sizes.chroma, fill), cr_(sizes.chroma, fill) {}

PlaneSet GuardedPicture::planeSet() {
  PlaneSet set{};
  set.y.address = y_.data();
  set.cb.address = cb_.data();
  set.cr.address = cr_.data();
  return set;
}

std::string GuardedPicture::damagedGuards() const {
  std::string damaged;
  if (!y_.guardsIntact()) damaged += " Y";
  if (!cb_.guardsIntact()) damaged += " Cb";
  if (!cr_.guardsIntact()) damaged += " Cr";
  return damaged;
}

}  // namespace quarlin::robust
