#include "foundation/shared_reference.h"

namespace quarlin::detail {

namespace {
// The 4-byte allocator is fetched once and kept.
Kelso::Allocator* countAllocator() {
  static Kelso::Allocator* const allocator = Kelso::Allocator::GetAllocator(4);
  return allocator;
}
}  // namespace

int32_t* allocateReferenceCount() {
  void* block = countAllocator()->AllocateBlock(4);
  if (!block) throw std::bad_alloc();
  auto* count = static_cast<int32_t*>(block);
  *count = 1;
  return count;
}

void freeReferenceCount(int32_t* count) { countAllocator()->FreeBlock(count); }

}  // namespace quarlin::detail
