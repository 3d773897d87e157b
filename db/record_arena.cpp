#include "db/record_arena.h"

#include <new>

namespace varnoke {

void TRecordArena::ChunkDeleter::operator()(std::byte* chunk) const noexcept {
  ::operator delete (chunk, std::align_val_t{kAlignment});
}

TRecordArena::~TRecordArena() {
  for (void* block : largeBlocks_)
    ::operator delete (block, std::align_val_t{kAlignment});
}

std::size_t TRecordArena::RoundUp(std::size_t size) noexcept {
  if (size < sizeof(FreeBlock)) size = sizeof(FreeBlock);
  return (size + kAlignment - 1) & ~(kAlignment - 1);
}

void* TRecordArena::Allocate(std::size_t size) {
  size = RoundUp(size);
  if (size > kMaxPooledSize) {
    void* block = ::operator new (size, std::align_val_t{kAlignment});
    try {
      largeBlocks_.insert(block);
    } catch (...) {
      ::operator delete (block, std::align_val_t{kAlignment});
      throw;
    }
    bytesReserved_ += size;
    return block;
  }
  FreeBlock*& head = freeLists_[size / kAlignment];
  if (head != nullptr) {
    FreeBlock* block = head;
    head = block->next;
    return block;
  }
  return AllocateFromChunk(size);
}

void* TRecordArena::AllocateFromChunk(std::size_t size) {
  if (static_cast<std::size_t>(limit_ - cursor_) < size) {
    // The unused tail of the old chunk is small (less than one block) and is
    // left as it is.
    const std::size_t chunkSize = nextChunkSize_;
    chunks_.reserve(chunks_.size() + 1);
    auto* chunk = static_cast<std::byte*>(::operator new (chunkSize, std::align_val_t{kAlignment}));
    chunks_.emplace_back(chunk);
    cursor_ = chunk;
    limit_ = chunk + chunkSize;
    bytesReserved_ += chunkSize;
    if (nextChunkSize_ < kMaxChunkSize) nextChunkSize_ *= 2;
  }
  void* block = cursor_;
  cursor_ += size;
  return block;
}

void TRecordArena::Free(void* block, std::size_t size) noexcept {
  if (block == nullptr) return;
  size = RoundUp(size);
  if (size > kMaxPooledSize) {
    largeBlocks_.erase(block);
    bytesReserved_ -= size;
    ::operator delete (block, std::align_val_t{kAlignment});
    return;
  }
  freeLists_[size / kAlignment] = new (block) FreeBlock{freeLists_[size / kAlignment]};
}

}  // namespace varnoke
