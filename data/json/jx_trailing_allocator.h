// An allocator for std::allocate_shared that makes room for `extra` bytes
// right after the shared object, so a container and its element storage
// come from one allocation. allocate() reports where that room starts
// through `trailing`, which the object's constructor reads (allocation
// always precedes construction). The pointer is not used afterwards.
#pragma once

#include <cstddef>
#include <new>

template <class T>
struct JXTrailingAllocator {
  using value_type = T;

  JXTrailingAllocator(size_t extraBytes, void** trailingOut) : extra(extraBytes), trailing(trailingOut) {}
  template <class U>
  JXTrailingAllocator(const JXTrailingAllocator<U>& other) noexcept : extra(other.extra), trailing(other.trailing) {}

  T* allocate(size_t n) {
    constexpr size_t kAlign = alignof(std::max_align_t);
    const size_t head = (n * sizeof(T) + kAlign - 1) / kAlign * kAlign;
    char* block = static_cast<char*>(::operator new(head + extra));
    *trailing = block + head;
    return reinterpret_cast<T*>(block);
  }
  void deallocate(T* p, size_t) noexcept { ::operator delete(p); }

  template <class U>
  bool operator==(const JXTrailingAllocator<U>& other) const noexcept {
    return extra == other.extra;
  }

  size_t extra;
  void** trailing;
};
