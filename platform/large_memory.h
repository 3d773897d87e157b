// Memory for large tables: the tree's blocks, a file read whole, the rows of
// a big search.
//
// Large blocks are mapped on their own, aligned for huge pages and offered
// them. A table of tens of megabytes then costs a few dozen page faults
// instead of thousands, which on a virtual machine is most of the time
// spent filling it; and its memory goes back to the system when it is
// freed, instead of lingering in the heap.
#pragma once

#include <cstddef>
#include <new>

namespace varnoke::platform {

// The size of a huge page, and what mapped blocks are aligned and rounded to.
inline constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Allocations from this size on are mapped; smaller ones come from the heap.
inline constexpr std::size_t kLargeFrom = std::size_t{1} << 20;

// Maps size bytes (rounded up to whole huge pages), zero-filled and aligned
// to a huge page. Throws std::bad_alloc when nothing can be mapped.
void* MapLarge(std::size_t size);

// Gives back a block MapLarge returned for the same size.
void UnmapLarge(void* block, std::size_t size) noexcept;

// The bytes MapLarge really maps for a block of size bytes.
constexpr std::size_t MappedSize(std::size_t size) noexcept {
  return (size + kHugePage - 1) / kHugePage * kHugePage;
}

// An allocator for the containers of large tables: blocks from kLargeFrom
// on are mapped, smaller ones come from the heap.
template <typename T>
class TLargeAllocator {
 public:
  using value_type = T;

  TLargeAllocator() noexcept = default;
  template <typename U>
  TLargeAllocator(const TLargeAllocator<U>&) noexcept {}

  T* allocate(std::size_t count) {
    if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    const std::size_t size = count * sizeof(T);
    if (size >= kLargeFrom) return static_cast<T*>(MapLarge(size));
    return static_cast<T*>(::operator new (size, std::align_val_t{alignof(T)}));
  }

  void deallocate(T* block, std::size_t count) noexcept {
    const std::size_t size = count * sizeof(T);
    if (size >= kLargeFrom) {
      UnmapLarge(block, size);
    } else {
      ::operator delete (block, std::align_val_t{alignof(T)});
    }
  }

  template <typename U>
  bool operator==(const TLargeAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace varnoke::platform
