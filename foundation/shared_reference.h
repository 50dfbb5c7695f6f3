// The shared-reference idiom used for every object that several holders
// keep alive at once (picture units, the decode tables): a separately
// allocated 32-bit count (a 4-byte block from the foundation's small-block
// allocator, starting at 1) paired with the object pointer. Copying counts
// one more holder with an interlocked increment; releasing counts one fewer
// with an interlocked decrement, and the holder that brings the count to 0
// destroys the object and frees the count. An empty reference has a count and
// no object.
#pragma once
#include <cstdint>
#include <new>
#include <utility>

#include "foundation/kelso/allocator.h"
#include "platform/sync.h"

namespace quarlin {

namespace detail {
int32_t* allocateReferenceCount();
void freeReferenceCount(int32_t* count);
}  // namespace detail

// Destroy(T*) is called by the last holder of a non-null object.
template <class T, void (*Destroy)(T*)>
class SharedReference {
 public:
  SharedReference() : count_(detail::allocateReferenceCount()), object_(nullptr) {}
  explicit SharedReference(T* object) : count_(detail::allocateReferenceCount()), object_(object) {}
  SharedReference(const SharedReference& other) : count_(other.count_), object_(other.object_) {
    platform::interlockedIncrement(count_);
  }
  SharedReference(SharedReference&& other) noexcept : count_(other.count_), object_(other.object_) {
    other.count_ = nullptr;
    other.object_ = nullptr;
  }
  // Builds the new pair first, swaps it in, then releases the old one.
  SharedReference& operator=(SharedReference other) noexcept {
    std::swap(count_, other.count_);
    std::swap(object_, other.object_);
    return *this;
  }
  ~SharedReference() { release(); }

  T* get() const { return object_; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }
  int32_t holders() const { return count_ ? *count_ : 0; }

 private:
  void release() {
    if (!count_) return;
    if (platform::interlockedDecrement(count_) == 0) {
      if (object_) Destroy(object_);
      detail::freeReferenceCount(const_cast<int32_t*>(count_));
    }
    count_ = nullptr;
    object_ = nullptr;
  }

  volatile int32_t* count_;
  T* object_;
};

}  // namespace quarlin
