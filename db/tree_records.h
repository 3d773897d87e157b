// The records of the in-memory tree: one TDirectoryRecord per directory, in
// one chain of all directories of all drives, and per directory a chain of
// TFileEntry records.
//
// Records are created, changed and freed only by their TDDList; everybody
// else reads them. All reads and writes happen with TMemoryDB::Lock held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace varnoke {

class TDDList;
class TDirectoryIndex;

// One file. An entry is a single block holding Next, Flag and the name,
// inline and NUL-terminated, directly behind Flag: name length + 10 bytes,
// with no padding, so that entries packed one behind the other hold their
// names nearly back to back (Next is kept as bytes and read unaligned).
// The address of the inline name is the entry's identity outside the tree
// store: result rows hold it, and it never changes while the entry lives.
class TFileEntry {
 public:
  TFileEntry(const TFileEntry&) = delete;
  TFileEntry& operator=(const TFileEntry&) = delete;

  // The next entry of the same directory; null for the last.
  TFileEntry* Next() const noexcept {
    TFileEntry* next;
    std::memcpy(&next, next_, sizeof next);
    return next;
  }
  // Always 0; kept for the record layout.
  std::uint8_t Flag() const noexcept { return flag_; }
  // The upper-cased name, NUL-terminated.
  const char* Name() const noexcept { return reinterpret_cast<const char*>(&flag_) + 1; }

  // Where the name starts within the entry.
  static constexpr std::size_t kNameOffset = sizeof(TFileEntry*) + 1;
  // Size of the block for a name of the given length, NUL included.
  static constexpr std::size_t BlockSize(std::size_t nameLength) noexcept {
    return kNameOffset + nameLength + 1;
  }

 private:
  friend class TDDList;
  TFileEntry() = default;
  ~TFileEntry() = default;

  char* MutableName() noexcept { return reinterpret_cast<char*>(&flag_) + 1; }
  void SetNext(TFileEntry* next) noexcept { std::memcpy(next_, &next, sizeof next); }

  unsigned char next_[sizeof(TFileEntry*)] = {};
  std::uint8_t flag_ = 0;
  // The name's bytes follow flag_.
};

static_assert(sizeof(TFileEntry) == TFileEntry::kNameOffset && alignof(TFileEntry) == 1);

// One directory. Its name is held in the list's arena, like the records
// themselves, so that a record needs no allocation and no destruction of
// its own.
class TDirectoryRecord {
 public:
  TDirectoryRecord(const TDirectoryRecord&) = delete;
  TDirectoryRecord& operator=(const TDirectoryRecord&) = delete;

  // The following record of the directory chain; null for the last.
  TDirectoryRecord* Next() const noexcept { return next_; }
  // The first file entry of this directory; null when it has none.
  TFileEntry* Files() const noexcept { return files_; }
  // Always 0; kept for the record layout.
  std::uint8_t Flag() const noexcept { return flag_; }
  // The directory's own name, upper-cased; "C:" for a drive root.
  std::string_view Name() const noexcept { return {name_, nameLength_}; }
  // The address of the name's characters, NUL-terminated: what a result row
  // of a directory-name search holds. It changes when the directory is
  // renamed.
  const char* NameAddress() const noexcept { return name_; }
  // The directory that contains this one; null for a drive root.
  TDirectoryRecord* Parent() const noexcept { return parent_; }

  // The packed tail of the file chain: from this entry to the end of the
  // chain, every entry lies in one block of the store, at rising
  // addresses in chain order, below PackedEnd(). Null when the chain has
  // no such tail. Searches read the block as one run of names.
  const TFileEntry* PackedFiles() const noexcept { return packedFiles_; }
  const char* PackedEnd() const noexcept {
    return reinterpret_cast<const char*>(packedFiles_) + packedBytes_;
  }

 private:
  friend class TDDList;
  friend class TDirectoryIndex;
  TDirectoryRecord(const char* name, std::uint32_t nameLength, TDirectoryRecord* parent,
                   TDDList* owner, std::uint64_t order)
      : name_(name), nameLength_(nameLength), parent_(parent), owner_(owner), order_(order) {}

  TDirectoryRecord* next_ = nullptr;
  TFileEntry* files_ = nullptr;
  std::uint8_t flag_ = 0;
  bool wideParent_ = false;             // TDirectoryIndex: children looked up in its table
  mutable std::uint32_t position_ = 0;  // scratch of the saver: the record's place in the file
  const char* name_;                    // in the arena, NUL-terminated
  std::uint32_t nameLength_;
  std::uint32_t packedBytes_ = 0;  // from packedFiles_ to the end of its block
  TDirectoryRecord* parent_ = nullptr;

  // Bookkeeping of the store, not part of what the record says.
  TDirectoryRecord* prev_ = nullptr;  // predecessor in the chain, for unlinking in O(1)
  TDDList* owner_ = nullptr;          // the list whose chain holds the record
  std::uint64_t order_ = 0;           // strictly increasing along the chain
  TFileEntry* packedFiles_ = nullptr;

  // Maintained by TDirectoryIndex while the list's index exists.
  TDirectoryRecord* firstChild_ = nullptr;
  TDirectoryRecord* nextSibling_ = nullptr;
  TDirectoryRecord* prevSibling_ = nullptr;
};

}  // namespace varnoke
