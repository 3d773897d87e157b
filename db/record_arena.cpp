#include "db/record_arena.h"

#include <cstring>
#include <new>

#include "platform/large_memory.h"

namespace varnoke {

void TRecordArena::ChunkDeleter::operator()(std::byte* chunk) const noexcept {
  if (mappedSize != 0) {
    platform::UnmapLarge(chunk, mappedSize);
  } else {
    ::operator delete (chunk, std::align_val_t{kAlignment});
  }
}

TRecordArena::~TRecordArena() {
  for (void* block : largeBlocks_)
    ::operator delete (block, std::align_val_t{kAlignment});
}

void* TRecordArena::PopFree(std::size_t size) noexcept {
  std::byte*& head = freeLists_[size / alignment_];
  std::byte* block = head;
  if (block != nullptr) std::memcpy(&head, block, sizeof head);
  return block;
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
  if (void* block = PopFree(size)) return block;
  return AllocateFromChunk(size);
}

void* TRecordArena::AllocateRun(std::size_t size) {
  // A run that would waste much of a chunk's tail gets a chunk of its own.
  if (size > kMaxChunkSize / 8) {
    const std::size_t mappedSize = platform::MappedSize(size);
    chunks_.reserve(chunks_.size() + 1);
    auto* chunk = static_cast<std::byte*>(platform::MapLarge(mappedSize));
    chunks_.emplace_back(chunk, ChunkDeleter{mappedSize});
    bytesReserved_ += mappedSize;
    return chunk;
  }
  return AllocateFromChunk(size);
}

void* TRecordArena::AllocateFromChunk(std::size_t size) {
  // The cursor stays aligned: every size handed out here is rounded.
  if (static_cast<std::size_t>(limit_ - cursor_) < size) {
    // The unused tail of the old chunk is left as it is: less than one
    // block, or less than a run, which are small beside a chunk.
    std::size_t chunkSize = nextChunkSize_;
    while (chunkSize < size)
      chunkSize *= 2;  // a run larger than the chunks so far
    chunks_.reserve(chunks_.size() + 1);
    if (chunkSize >= platform::kHugePage) {
      auto* chunk = static_cast<std::byte*>(platform::MapLarge(chunkSize));
      chunks_.emplace_back(chunk, ChunkDeleter{chunkSize});
    } else {
      auto* chunk =
          static_cast<std::byte*>(::operator new (chunkSize, std::align_val_t{kAlignment}));
      chunks_.emplace_back(chunk, ChunkDeleter{0});
    }
    std::byte* chunk = chunks_.back().get();
    cursor_ = chunk;
    limit_ = chunk + chunkSize;
    bytesReserved_ += chunkSize;
    if (nextChunkSize_ < kMaxChunkSize) nextChunkSize_ *= 2;
  }
  void* block = cursor_;
  cursor_ += size;
  return block;
}

void TRecordArena::Absorb(TRecordArena& other) {
  chunks_.reserve(chunks_.size() + other.chunks_.size());
  largeBlocks_.reserve(largeBlocks_.size() + other.largeBlocks_.size());
  for (auto& chunk : other.chunks_)
    chunks_.push_back(std::move(chunk));
  other.chunks_.clear();
  largeBlocks_.merge(other.largeBlocks_);
  // Free blocks join this arena's lists, ahead of its own.
  for (std::size_t k = 0; k < freeLists_.size(); ++k) {
    std::byte* head = other.freeLists_[k];
    if (head == nullptr) continue;
    std::byte* tail = head;
    for (std::byte* next; std::memcpy(&next, tail, sizeof next), next != nullptr;)
      tail = next;
    std::memcpy(tail, &freeLists_[k], sizeof freeLists_[k]);
    freeLists_[k] = head;
    other.freeLists_[k] = nullptr;
  }
  bytesReserved_ += other.bytesReserved_;
  other.bytesReserved_ = 0;
  other.cursor_ = other.limit_ = nullptr;
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
  std::byte*& head = freeLists_[size / alignment_];
  std::memcpy(block, &head, sizeof head);
  head = static_cast<std::byte*>(block);
}

}  // namespace varnoke
