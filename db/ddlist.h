// TDDList: the tree container. One chain of every directory record of every
// drive, in the order the records were added, each record with its own chain
// of file entries, newest first.
//
// The list owns every record and entry reachable from it and frees them all
// when it is destroyed. None of its operations takes TMemoryDB::Lock: the
// callers hold it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/directory_index.h"
#include "db/file_index.h"
#include "db/record_arena.h"
#include "db/tree_records.h"

namespace varnoke {

class TDDList {
 public:
  TDDList() = default;
  ~TDDList();
  TDDList(const TDDList&) = delete;
  TDDList& operator=(const TDDList&) = delete;

  // Appends a new record with the given name and parent at the end of the
  // chain. No upper-casing and no duplicate check: callers pass upper-cased
  // names. parent must be null or a record of this list.
  TDirectoryRecord* AddDirectory(std::string_view name, TDirectoryRecord* parent);

  // Removes the record, every record below it and all their file entries.
  // Returns the first record that followed it in the chain and is still
  // there, or null. A record that is not in this list changes nothing and
  // gives null.
  TDirectoryRecord* RemoveDirectoryRecord(TDirectoryRecord* record);

  TDirectoryRecord* FirstDirectory() const noexcept { return first_; }

  // Makes a new entry holding name the head of directory's file chain. No
  // duplicate check. directory must be a record of this list.
  TFileEntry* AddFile(std::string_view name, TDirectoryRecord* directory);

  // The same as AddFile for each name in turn (the last one becomes the
  // head), but into a directory without files the entries go in one block,
  // in chain order: the directory's chain is then packed (PackedFiles).
  void AddFiles(std::span<const std::string_view> names, TDirectoryRecord* directory);

  // Unlinks and frees entry from directory's chain and returns the entry
  // that followed it. An entry that is not in that chain changes nothing and
  // gives null.
  TFileEntry* RemoveFileEntry(TFileEntry* entry, TDirectoryRecord* directory) noexcept;

  // The same, where previous is believed to be the entry before entry (or
  // null for the head): a walk that removes as it goes then costs O(1) per
  // entry. A wrong hint only costs the walk.
  TFileEntry* RemoveFileEntry(TFileEntry* entry, TDirectoryRecord* directory,
                              TFileEntry* previous) noexcept;

  TFileEntry* FirstFile(const TDirectoryRecord* directory) const noexcept {
    return directory->Files();
  }

  // The first entry of directory's chain with exactly that name, or null.
  TFileEntry* FindFile(TDirectoryRecord* directory, std::string_view name);

  // Every entry of directory with exactly that name, in chain order.
  std::vector<TFileEntry*> FilesNamed(TDirectoryRecord* directory, std::string_view name);

  // The first record in chain order with exactly this name and parent (null
  // matches only null), or null.
  TDirectoryRecord* FindDirectory(std::string_view name, const TDirectoryRecord* parent);

  // Replaces out by every record with exactly this name and parent, in
  // chain order: more than one where the disk holds names that differ only
  // in case. As cheap as FindDirectory.
  void DirectoriesNamed(std::string_view name, const TDirectoryRecord* parent,
                        std::vector<TDirectoryRecord*>& out);

  // Gives record a new name and parent in place; it keeps its place in the
  // chain, its files and everything below it. Refuses (false, nothing
  // changed) a parent that is not in this list or lies in record's own
  // subtree, which would make the tree a loop.
  bool MoveDirectory(TDirectoryRecord* record, std::string_view name, TDirectoryRecord* parent);

  // Moves record to stand in the chain directly before next, or directly
  // after previous; it keeps its name, parent, files and everything below
  // it. Both must be other records of this list.
  void PlaceBefore(TDirectoryRecord* record, TDirectoryRecord* next) noexcept;
  void PlaceAfter(TDirectoryRecord* record, TDirectoryRecord* previous) noexcept;

  // Gives record another parent, keeping its name; refuses as MoveDirectory
  // does.
  bool SetParent(TDirectoryRecord* record, TDirectoryRecord* parent);
  // The same without the walk up parent's ancestors, for a caller that has
  // checked a whole set of parents for loops at once (the loader). Still
  // refuses records of another list.
  bool SetParentWithoutLoopCheck(TDirectoryRecord* record, TDirectoryRecord* parent);

  // Appends record and every record below it to out, each record before
  // the records below it.
  void CollectSubtree(TDirectoryRecord* record, std::vector<TDirectoryRecord*>& out);

  // Appends the records whose parent is directory, in no particular order.
  void AppendSubdirectories(const TDirectoryRecord* directory, std::vector<TDirectoryRecord*>& out);

  // The position of a record in the chain, as a number that only grows along
  // Next: comparing two gives their chain order.
  static std::uint64_t ChainOrder(const TDirectoryRecord* record) noexcept {
    return record->order_;
  }

  // Moves every record of other, in chain order, to the end of this
  // list's chain, with their files and the memory that holds them; other is
  // left empty. For a tree built in parts at once (the loader's).
  void TakeChain(TDDList& other);

  // Builds the lookup structures the change reports use, so that the first
  // report after a load or a scan does not build them while it holds the
  // lock the window waits for.
  void PrepareLookups() { Index(); }

  // Splits the chain into about count stretches of similar size for work
  // shared between threads: stretch k runs from starts[k] up to, not
  // including, starts[k + 1] (the last one to the end of the chain). Every
  // record stands in exactly one stretch, in chain order; stretches may be
  // empty. Kept between calls and mended as records leave the chain.
  const std::vector<TDirectoryRecord*>& Stretches(std::size_t count);

  // Numbers the records 1, 2, ... in chain order for ChainPosition, until
  // the next call; the saver's scratch.
  void NumberChain() const noexcept;
  static std::uint32_t ChainPosition(const TDirectoryRecord* record) noexcept {
    return record->position_;
  }

  std::size_t DirectoryCount() const noexcept { return directoryCount_; }
  std::size_t FileCount() const noexcept { return fileCount_; }
  // Heap bytes held by the records and entries.
  std::size_t BytesReserved() const noexcept {
    return arena_.BytesReserved() + entries_.BytesReserved();
  }

 private:
  TDirectoryIndex& Index();
  bool Contains(const TDirectoryRecord* record) const noexcept {
    return record != nullptr && record->owner_ == this;
  }
  bool MayMove(const TDirectoryRecord* record, const TDirectoryRecord* parent) const;
  // Changes record's name or parent (change must not throw) with the index
  // kept current.
  template <typename Change>
  void Reindex(TDirectoryRecord* record, const Change& change) noexcept;
  const char* CopyName(std::string_view name);
  void FreeName(const char* name, std::size_t length) noexcept;
  void FreeFiles(TDirectoryRecord* record) noexcept;
  TFileIndex* FileIndex(TDirectoryRecord* directory);
  void Unchain(TFileEntry* entry, TDirectoryRecord* directory, TFileEntry* previous) noexcept;
  void Unlink(TDirectoryRecord* record) noexcept;
  void Link(TDirectoryRecord* record, TDirectoryRecord* previous, TDirectoryRecord* next) noexcept;
  void Renumber() noexcept;
  void Destroy(TDirectoryRecord* record) noexcept;

  TRecordArena arena_;       // records and directory names
  TRecordArena entries_{1};  // file entries, unaligned
  TDirectoryRecord* first_ = nullptr;
  TDirectoryRecord* last_ = nullptr;  // tail, so that adding is O(1)
  // Chain orders are kOrderStep apart, so that a record placed between two
  // others finds a number between theirs without renumbering the chain.
  static constexpr std::uint64_t kOrderStep = std::uint64_t{1} << 16;
  std::uint64_t nextOrder_ = kOrderStep;
  std::size_t directoryCount_ = 0;
  std::size_t fileCount_ = 0;
  // Built on first use and kept current from then on; a tree that is only
  // filled and walked (a scan, a load and a plain search) never pays for it.
  std::unique_ptr<TDirectoryIndex> index_;
  // Directories whose chains grew long enough to be looked up by name get
  // an index of their own on the first lookup; kept current from then on.
  std::unordered_map<const TDirectoryRecord*, std::unique_ptr<TFileIndex>> fileIndexes_;
  // Stretches: the first record of each, the first stretch starting at
  // first_; and the number of records there were when they were cut.
  std::vector<TDirectoryRecord*> stretches_;
  std::size_t stretchedCount_ = 0;
};

}  // namespace varnoke
