// Small-block allocator of the foundation library. Reference counts take
// their 4-byte blocks from the object GetAllocator(4) returns; containers and
// arrays of the library go through Allocate and Dispose (usually by way of
// STLAllocator).
#pragma once
#include <cstddef>
#include <cstdint>

namespace Kelso {

class Allocator {
 public:
  // The process-wide allocator for blocks of `blockSize` bytes; the same
  // object for every call with that size, never destroyed. Thread-safe.
  static Allocator* GetAllocator(uint32_t blockSize);
  // A block of at least `size` bytes, aligned for any standard type.
  // Throws std::bad_alloc when no memory is left.
  static void* Allocate(size_t size);
  // Frees a block from Allocate; `size` is the size it was asked with.
  // Null is accepted.
  static void Dispose(void* block, size_t size);
  // Blocks handed out by Allocate and by every AllocateBlock and not yet
  // given back: lets tests check that an object released everything.
  static int64_t LiveBlocks();

  virtual ~Allocator();
  // Slot 1: a block of at least `size` bytes (and at least the allocator's
  // block size), or null when no memory is left.
  virtual void* AllocateBlock(size_t size) = 0;
  // Slot 2: frees a block from AllocateBlock of this object; null is
  // accepted.
  virtual void FreeBlock(void* block) = 0;

 protected:
  Allocator() = default;
  Allocator(const Allocator&) = delete;
  Allocator& operator=(const Allocator&) = delete;
};

}  // namespace Kelso
