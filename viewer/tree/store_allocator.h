// The allocator of the tree store's large arrays (its nodes, extras and text
// arena): a million-row tree fills tens of megabytes, which runtime's large
// blocks map apart in huge pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "runtime/large_memory.h"

namespace tree {

template <typename T>
struct StoreAllocator {
  using value_type = T;
  StoreAllocator() = default;
  template <typename U>
  StoreAllocator(const StoreAllocator<U>&) {}
  T* allocate(size_t count) {
    if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(runtime::allocate_large_block(count * sizeof(T)));
  }
  void deallocate(T* memory, size_t count) { runtime::free_large_block(memory, count * sizeof(T)); }
  template <typename U>
  bool operator==(const StoreAllocator<U>&) const {
    return true;
  }
};

}  // namespace tree
