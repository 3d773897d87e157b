// The allocator behind the tree's records.
//
// A tree holds millions of small records, and a general-purpose allocator
// spends 8 to 16 bytes of bookkeeping on each of them. The arena hands out
// blocks carved from large chunks, aligned as the arena was made to align
// them (1 for records that need no alignment), and keeps one free list per
// block size, so a freed record's space is reused by the next record of the
// same size. A run of blocks can be taken in one piece and its blocks freed
// one by one. Blocks never move while they are allocated; everything goes back
// to the system at once when the arena is destroyed.
#pragma once

#include <cstddef>
#include <memory>
#include <unordered_set>
#include <vector>

namespace varnoke {

class TRecordArena {
 public:
  static constexpr std::size_t kAlignment = 8;

  // alignment: 1 or kAlignment.
  explicit TRecordArena(std::size_t alignment = kAlignment) : alignment_(alignment) {}
  ~TRecordArena();
  TRecordArena(const TRecordArena&) = delete;
  TRecordArena& operator=(const TRecordArena&) = delete;

  // Returns an uninitialised block of at least size bytes, aligned as the
  // arena aligns. Throws std::bad_alloc when memory is exhausted.
  void* Allocate(std::size_t size);

  // Returns size uninitialised bytes in one piece, to be cut by the caller
  // into blocks that are each given back with Free on their own. Sizes of
  // the blocks must be rounded as the arena rounds them (RoundUp).
  void* AllocateRun(std::size_t size);

  // The size a block of the given size really takes.
  std::size_t RoundUp(std::size_t size) const noexcept {
    if (size < sizeof(std::byte*)) size = sizeof(std::byte*);
    return (size + alignment_ - 1) & ~(alignment_ - 1);
  }

  // Gives back a block that Allocate returned with the same size.
  void Free(void* block, std::size_t size) noexcept;

  // Takes over every block of other, allocated or free, and the memory
  // behind them; other is left empty. Both must align alike.
  void Absorb(TRecordArena& other);

  // Bytes taken from the system, chunk slack included.
  std::size_t BytesReserved() const noexcept { return bytesReserved_; }

 private:
  // Blocks up to this size come from the chunks; larger ones are rare (only
  // names far beyond any file system's limit) and get their own allocation.
  static constexpr std::size_t kMaxPooledSize = 4096;
  static constexpr std::size_t kFirstChunkSize = std::size_t{2} << 20;
  static constexpr std::size_t kMaxChunkSize = std::size_t{4} << 20;
  // Chunks of a huge page and more are mapped on their own (MapLarge): a
  // million entries then cost a few dozen page faults instead of thousands,
  // which is most of the time of a load in a fresh process.

  struct ChunkDeleter {
    std::size_t mappedSize = 0;  // 0: from the heap
    void operator()(std::byte* chunk) const noexcept;
  };

  void* AllocateFromChunk(std::size_t size);
  void* PopFree(std::size_t size) noexcept;

  std::vector<std::unique_ptr<std::byte, ChunkDeleter>> chunks_;
  std::byte* cursor_ = nullptr;  // next free byte of the newest chunk
  std::byte* limit_ = nullptr;   // end of the newest chunk
  std::size_t nextChunkSize_ = kFirstChunkSize;
  const std::size_t alignment_;
  // Heads of the free lists; a free block holds the next one's address in
  // its first bytes, which need not be aligned.
  std::vector<std::byte*> freeLists_ = std::vector<std::byte*>(kMaxPooledSize / alignment_ + 1);
  std::unordered_set<void*> largeBlocks_;
  std::size_t bytesReserved_ = 0;
};

}  // namespace varnoke
