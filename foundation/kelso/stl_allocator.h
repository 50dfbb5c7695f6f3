// Standard-container allocator over Kelso::Allocator::Allocate and Dispose,
// and the container types the library keeps its paths, maps and arrays in.
#pragma once
#include <cstddef>
#include <functional>
#include <limits>
#include <map>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "foundation/kelso/allocator.h"

namespace Kelso {

template <class T>
class STLAllocator {
 public:
  using value_type = T;
  using size_type = std::size_t;
  using difference_type = std::ptrdiff_t;
  using propagate_on_container_move_assignment = std::true_type;
  using is_always_equal = std::true_type;

  // Allocate returns the heap's default alignment, nothing stricter.
  static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__, "over-aligned element type");

  STLAllocator() noexcept = default;
  template <class U>
  STLAllocator(const STLAllocator<U>&) noexcept {}

  T* allocate(size_type count) {
    if (count > std::numeric_limits<size_type>::max() / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(Allocator::Allocate(count * sizeof(T)));
  }

  void deallocate(T* block, size_type count) noexcept {
    Allocator::Dispose(block, count * sizeof(T));
  }

  template <class U>
  friend bool operator==(const STLAllocator&, const STLAllocator<U>&) noexcept {
    return true;
  }
};

// NUL-terminated UTF-16 text, as paths are handed in.
using WString = std::basic_string<char16_t, std::char_traits<char16_t>, STLAllocator<char16_t>>;

template <class T>
using Vector = std::vector<T, STLAllocator<T>>;

template <class Key, class Value, class Compare = std::less<Key>>
using Map = std::map<Key, Value, Compare, STLAllocator<std::pair<const Key, Value>>>;

}  // namespace Kelso
