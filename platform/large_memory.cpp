#include "platform/large_memory.h"

#include <sys/mman.h>

#include <cstdint>

namespace varnoke::platform {

void* MapLarge(std::size_t size) {
  const std::size_t length = MappedSize(size == 0 ? 1 : size);
  // Over-mapped by one huge page and trimmed, so that the block starts on a
  // huge page boundary: only whole, aligned huge pages can be given one.
  void* mapped = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  auto* base = static_cast<std::byte*>(mapped);
  const auto address = reinterpret_cast<std::uintptr_t>(base);
  const std::size_t head = (kHugePage - address % kHugePage) % kHugePage;
  if (head != 0) ::munmap(base, head);
  ::munmap(base + head + length, kHugePage - head);
  std::byte* block = base + head;
  ::madvise(block, length, MADV_HUGEPAGE);
  return block;
}

void UnmapLarge(void* block, std::size_t size) noexcept {
  if (block != nullptr) ::munmap(block, MappedSize(size == 0 ? 1 : size));
}

}  // namespace varnoke::platform
