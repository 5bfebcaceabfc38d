#pragma once

#include <cstddef>
#include <memory>
#include <new>

#include "platform.h"

namespace messwerte {

using platform::AdviseHugePages;

// An allocator that puts blocks of a huge page or more on whole huge pages, advised as above, and
// leaves smaller ones to the usual allocator.
template <class T>
struct HugePageAllocator {
  using value_type = T;
  static constexpr std::size_t kHugePage = std::size_t{1} << 21;

  HugePageAllocator() = default;
  template <class U>
  HugePageAllocator(const HugePageAllocator<U>&) {}

  T* allocate(std::size_t n) {
    if (n > std::size_t(-1) / sizeof(T) - kHugePage) throw std::bad_array_new_length();
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kHugePage / 2) return std::allocator<T>().allocate(n);
    const std::size_t whole = (bytes + kHugePage - 1) & ~(kHugePage - 1);
    void* block = platform::AllocateAligned(whole, kHugePage);
    AdviseHugePages(block, whole);
    return static_cast<T*>(block);
  }
  void deallocate(T* block, std::size_t n) {
    if (n * sizeof(T) < kHugePage / 2) return std::allocator<T>().deallocate(block, n);
    platform::FreeAligned(block, kHugePage);
  }
  friend bool operator==(const HugePageAllocator&, const HugePageAllocator&) { return true; }
};

}  // namespace messwerte
