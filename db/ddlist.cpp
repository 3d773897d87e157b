#include "db/ddlist.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>

namespace varnoke {

// Records, names and entries all live in the arena and need no destruction:
// the arena returns their memory at once.
TDDList::~TDDList() = default;

TDirectoryIndex& TDDList::Index() {
  if (!index_) index_ = std::make_unique<TDirectoryIndex>(first_);
  return *index_;
}

const char* TDDList::CopyName(std::string_view name) {
  if (name.size() > UINT32_MAX - 1) throw std::length_error("directory name too long");
  auto* copy = static_cast<char*>(arena_.Allocate(name.size() + 1));
  std::memcpy(copy, name.data(), name.size());
  copy[name.size()] = '\0';
  return copy;
}

void TDDList::FreeName(const char* name, std::size_t length) noexcept {
  arena_.Free(const_cast<char*>(name), length + 1);
}

TDirectoryRecord* TDDList::AddDirectory(std::string_view name, TDirectoryRecord* parent) {
  if (parent != nullptr && !Contains(parent)) {
    throw std::invalid_argument("AddDirectory: parent is not a record of this list");
  }
  const char* copy = CopyName(name);
  void* block = nullptr;
  try {
    block = arena_.Allocate(sizeof(TDirectoryRecord));
  } catch (...) {
    FreeName(copy, name.size());
    throw;
  }
  auto* record = new (block)
      TDirectoryRecord(copy, static_cast<std::uint32_t>(name.size()), parent, this, nextOrder_);
  nextOrder_ += kOrderStep;
  record->prev_ = last_;
  if (last_ != nullptr) {
    last_->next_ = record;
  } else {
    first_ = record;
  }
  last_ = record;
  ++directoryCount_;
  if (index_) {
    try {
      index_->Insert(record);
    } catch (...) {
      index_.reset();  // only a lookup aid: rebuilt when next needed
    }
  }
  return record;
}

void TDDList::FreeFiles(TDirectoryRecord* record) noexcept {
  fileIndexes_.erase(record);
  for (TFileEntry* e = record->files_; e != nullptr;) {
    TFileEntry* next = e->Next();
    entries_.Free(e, TFileEntry::BlockSize(std::strlen(e->Name())));
    --fileCount_;
    e = next;
  }
  record->files_ = nullptr;
  record->packedFiles_ = nullptr;
  record->packedBytes_ = 0;
}

void TDDList::Unlink(TDirectoryRecord* record) noexcept {
  for (std::size_t k = 1; k < stretches_.size(); ++k) {
    if (stretches_[k] == record) stretches_[k] = record->next_;
  }
  if (record->prev_ != nullptr) {
    record->prev_->next_ = record->next_;
  } else {
    first_ = record->next_;
  }
  if (record->next_ != nullptr) {
    record->next_->prev_ = record->prev_;
  } else {
    last_ = record->prev_;
  }
  record->prev_ = record->next_ = nullptr;
}

void TDDList::Link(TDirectoryRecord* record, TDirectoryRecord* previous,
                   TDirectoryRecord* next) noexcept {
  record->prev_ = previous;
  record->next_ = next;
  if (previous != nullptr) {
    previous->next_ = record;
  } else {
    first_ = record;
  }
  if (next != nullptr) {
    next->prev_ = record;
  } else {
    last_ = record;
  }
  const std::uint64_t low = previous != nullptr ? previous->order_ : 0;
  const std::uint64_t high = next != nullptr ? next->order_ : nextOrder_;
  if (high - low >= 2) {
    record->order_ = low + (high - low) / 2;
  } else {
    Renumber();
  }
}

void TDDList::Renumber() noexcept {
  nextOrder_ = kOrderStep;
  for (TDirectoryRecord* r = first_; r != nullptr; r = r->next_) {
    r->order_ = nextOrder_;
    nextOrder_ += kOrderStep;
  }
}

void TDDList::PlaceBefore(TDirectoryRecord* record, TDirectoryRecord* next) noexcept {
  if (record == next || record->next_ == next) return;
  Unlink(record);
  Link(record, next->prev_, next);
}

void TDDList::PlaceAfter(TDirectoryRecord* record, TDirectoryRecord* previous) noexcept {
  if (record == previous || record->prev_ == previous) return;
  Unlink(record);
  Link(record, previous, previous->next_);
}

void TDDList::Destroy(TDirectoryRecord* record) noexcept {
  FreeFiles(record);
  FreeName(record->name_, record->nameLength_);
  record->~TDirectoryRecord();
  arena_.Free(record, sizeof(TDirectoryRecord));
  --directoryCount_;
}

TDirectoryRecord* TDDList::RemoveDirectoryRecord(TDirectoryRecord* record) {
  if (!Contains(record)) return nullptr;

  // The records below go too: a record whose parent has been freed could
  // never be followed safely again.
  std::vector<TDirectoryRecord*> subtree;
  CollectSubtree(record, subtree);
  for (TDirectoryRecord* r : subtree)
    r->owner_ = nullptr;  // marks "leaving"

  TDirectoryRecord* follower = record->next_;
  while (follower != nullptr && follower->owner_ == nullptr)
    follower = follower->next_;

  // Deepest first, so that each record's parent is still alive while the
  // index forgets the record.
  for (auto it = subtree.rbegin(); it != subtree.rend(); ++it) {
    if (index_) index_->Erase(*it);
    Unlink(*it);
    Destroy(*it);
  }
  return follower;
}

TFileEntry* TDDList::AddFile(std::string_view name, TDirectoryRecord* directory) {
  if (!Contains(directory)) {
    throw std::invalid_argument("AddFile: directory is not a record of this list");
  }
  const std::size_t size = TFileEntry::BlockSize(name.size());
  void* block = entries_.Allocate(size);
  std::memset(block, 0, size);
  auto* entry = new (block) TFileEntry();
  std::memcpy(entry->MutableName(), name.data(), name.size());
  entry->SetNext(directory->files_);
  if (!fileIndexes_.empty()) {
    if (const auto it = fileIndexes_.find(directory); it != fileIndexes_.end()) {
      try {
        it->second->Added(entry);
      } catch (...) {
        fileIndexes_.erase(it);  // only a lookup aid: rebuilt when next needed
      }
    }
  }
  directory->files_ = entry;
  ++fileCount_;
  return entry;
}

void TDDList::AddFiles(std::span<const std::string_view> names, TDirectoryRecord* directory) {
  if (!Contains(directory)) {
    throw std::invalid_argument("AddFiles: directory is not a record of this list");
  }
  if (directory->files_ != nullptr || names.size() < 2) {
    for (const std::string_view name : names)
      AddFile(name, directory);
    return;
  }
  std::size_t total = 0;
  for (const std::string_view name : names)
    total += entries_.RoundUp(TFileEntry::BlockSize(name.size()));
  if (total > UINT32_MAX) {
    for (const std::string_view name : names)
      AddFile(name, directory);
    return;
  }
  // The last name becomes the head: it goes first in the block, and each
  // entry's successor in the chain is the one placed after it.
  auto* block = static_cast<char*>(entries_.AllocateRun(total));
  char* end = block + total;
  TFileEntry* next = nullptr;
  for (const std::string_view name : names) {
    const std::size_t size = entries_.RoundUp(TFileEntry::BlockSize(name.size()));
    end -= size;
    auto* entry = new (end) TFileEntry();
    entry->SetNext(next);
    char* copy = entry->MutableName();
    std::memcpy(copy, name.data(), name.size());
    // The NUL, and the rounding's bytes if any.
    for (char* zero = copy + name.size(); zero != end + size; ++zero)
      *zero = '\0';
    next = entry;
  }
  directory->files_ = next;
  directory->packedFiles_ = next;
  directory->packedBytes_ = static_cast<std::uint32_t>(total);
  fileCount_ += names.size();
}

TFileIndex* TDDList::FileIndex(TDirectoryRecord* directory) {
  if (const auto it = fileIndexes_.find(directory); it != fileIndexes_.end())
    return it->second.get();
  return nullptr;
}

void TDDList::Unchain(TFileEntry* entry, TDirectoryRecord* directory,
                      TFileEntry* previous) noexcept {
  if (TFileIndex* index = FileIndex(directory)) index->Removing(entry);
  if (previous == nullptr) {
    directory->files_ = entry->Next();
  } else {
    previous->SetNext(entry->Next());
  }
  if (entry == directory->packedFiles_) {
    // The packed tail now starts at the entry that followed, further on in
    // the same block.
    TFileEntry* next = entry->Next();
    if (next == nullptr) {
      directory->packedBytes_ = 0;
    } else {
      directory->packedBytes_ -= static_cast<std::uint32_t>(reinterpret_cast<char*>(next) -
                                                            reinterpret_cast<char*>(entry));
    }
    directory->packedFiles_ = next;
  }
  entries_.Free(entry, TFileEntry::BlockSize(std::strlen(entry->Name())));
  --fileCount_;
}

TFileEntry* TDDList::RemoveFileEntry(TFileEntry* entry, TDirectoryRecord* directory) noexcept {
  if (directory == nullptr || directory->files_ == nullptr || entry == nullptr) return nullptr;
  TFileEntry* previous = nullptr;
  if (directory->files_ != entry) {
    if (TFileIndex* index = Contains(directory) ? FileIndex(directory) : nullptr) {
      previous = index->Previous(entry);
      if (previous == nullptr || previous->Next() != entry) return nullptr;  // not in this chain
    } else {
      previous = directory->files_;
      while (previous->Next() != nullptr && previous->Next() != entry)
        previous = previous->Next();
      if (previous->Next() == nullptr) return nullptr;
    }
  }
  TFileEntry* next = entry->Next();
  Unchain(entry, directory, previous);
  return next;
}

TFileEntry* TDDList::RemoveFileEntry(TFileEntry* entry, TDirectoryRecord* directory,
                                     TFileEntry* previous) noexcept {
  const bool hinted = previous == nullptr ? directory != nullptr && directory->files_ == entry
                                          : previous->Next() == entry;
  if (!hinted || entry == nullptr || !Contains(directory)) return RemoveFileEntry(entry, directory);
  TFileEntry* next = entry->Next();
  Unchain(entry, directory, previous);
  return next;
}

TFileEntry* TDDList::FindFile(TDirectoryRecord* directory, std::string_view name) {
  const std::vector<TFileEntry*> named = FilesNamed(directory, name);
  return named.empty() ? nullptr : named.front();
}

std::vector<TFileEntry*> TDDList::FilesNamed(TDirectoryRecord* directory, std::string_view name) {
  // Chains this long are indexed on the way: reports into big directories
  // then cost a lookup each, not a walk of the whole chain.
  constexpr std::size_t kIndexFrom = 64;
  std::vector<TFileEntry*> found;
  if (TFileIndex* index = FileIndex(directory)) {
    if (const std::vector<TFileEntry*>* named = index->Named(name)) {
      found.assign(named->rbegin(), named->rend());
    }
    return found;
  }
  std::size_t length = 0;
  for (TFileEntry* e = directory->files_; e != nullptr; e = e->Next()) {
    if (name == e->Name()) found.push_back(e);
    ++length;
  }
  if (length >= kIndexFrom && Contains(directory)) {
    try {
      fileIndexes_.emplace(directory, std::make_unique<TFileIndex>(directory->files_));
    } catch (...) {
      // Without the index lookups walk, as they did.
    }
  }
  return found;
}

void TDDList::CollectSubtree(TDirectoryRecord* record, std::vector<TDirectoryRecord*>& out) {
  const std::size_t begin = out.size();
  out.push_back(record);
  for (std::size_t i = begin; i < out.size(); ++i)
    AppendSubdirectories(out[i], out);
}

TDirectoryRecord* TDDList::FindDirectory(std::string_view name, const TDirectoryRecord* parent) {
  if (first_ == nullptr) return nullptr;
  return Index().Find(name, parent);
}

void TDDList::DirectoriesNamed(std::string_view name, const TDirectoryRecord* parent,
                               std::vector<TDirectoryRecord*>& out) {
  out.clear();
  if (first_ != nullptr) Index().FindAll(name, parent, out);
}

bool TDDList::MayMove(const TDirectoryRecord* record, const TDirectoryRecord* parent) const {
  if (!Contains(record)) return false;
  if (parent == nullptr) return true;
  if (!Contains(parent)) return false;
  for (const TDirectoryRecord* p = parent; p != nullptr; p = p->parent_) {
    if (p == record) return false;
  }
  return true;
}

bool TDDList::MoveDirectory(TDirectoryRecord* record, std::string_view name,
                            TDirectoryRecord* parent) {
  if (!MayMove(record, parent)) return false;
  const char* copy = CopyName(name);  // before anything changes: it may throw
  Reindex(record, [&] {
    FreeName(record->name_, record->nameLength_);
    record->name_ = copy;
    record->nameLength_ = static_cast<std::uint32_t>(name.size());
    record->parent_ = parent;
  });
  return true;
}

bool TDDList::SetParent(TDirectoryRecord* record, TDirectoryRecord* parent) {
  if (!MayMove(record, parent)) return false;
  Reindex(record, [&] { record->parent_ = parent; });
  return true;
}

bool TDDList::SetParentWithoutLoopCheck(TDirectoryRecord* record, TDirectoryRecord* parent) {
  if (!Contains(record) || (parent != nullptr && !Contains(parent))) return false;
  Reindex(record, [&] { record->parent_ = parent; });
  return true;
}

template <typename Change>
void TDDList::Reindex(TDirectoryRecord* record, const Change& change) noexcept {
  if (index_) index_->Erase(record);
  change();
  if (index_) {
    try {
      index_->Insert(record);
    } catch (...) {
      index_.reset();  // only a lookup aid: rebuilt when next needed
    }
  }
}

const std::vector<TDirectoryRecord*>& TDDList::Stretches(std::size_t count) {
  // Cut again when the chain has grown or shrunk by an eighth: records
  // added since go to the last stretch.
  const std::size_t drift = directoryCount_ > stretchedCount_ ? directoryCount_ - stretchedCount_
                                                              : stretchedCount_ - directoryCount_;
  if (stretches_.size() != count || drift > stretchedCount_ / 8) {
    stretches_.assign(1, nullptr);
    const std::size_t each = directoryCount_ / count + 1;
    std::size_t k = 0;
    for (TDirectoryRecord* r = first_; r != nullptr; r = r->next_) {
      if (++k % each == 0 && stretches_.size() < count) stretches_.push_back(r);
    }
    while (stretches_.size() < count)
      stretches_.push_back(nullptr);
    stretchedCount_ = directoryCount_;
  }
  stretches_.front() = first_;
  return stretches_;
}

void TDDList::TakeChain(TDDList& other) {
  if (other.first_ == nullptr) return;
  // Only the arenas may fail, before anything has moved; lookups are
  // built anew when next needed.
  arena_.Absorb(other.arena_);
  entries_.Absorb(other.entries_);
  other.fileIndexes_.clear();
  for (TDirectoryRecord* r = other.first_; r != nullptr; r = r->next_) {
    r->owner_ = this;
    r->order_ = nextOrder_;
    nextOrder_ += kOrderStep;
  }
  other.first_->prev_ = last_;
  if (last_ != nullptr) {
    last_->next_ = other.first_;
  } else {
    first_ = other.first_;
  }
  last_ = other.last_;
  directoryCount_ += other.directoryCount_;
  fileCount_ += other.fileCount_;
  index_.reset();
  other.index_.reset();
  other.stretches_.clear();
  other.first_ = other.last_ = nullptr;
  other.directoryCount_ = other.fileCount_ = 0;
}

void TDDList::NumberChain() const noexcept {
  std::uint32_t position = 0;
  for (const TDirectoryRecord* r = first_; r != nullptr; r = r->next_)
    r->position_ = ++position;
}

void TDDList::AppendSubdirectories(const TDirectoryRecord* directory,
                                   std::vector<TDirectoryRecord*>& out) {
  Index();
  TDirectoryIndex::AppendChildren(directory, out);
}

}  // namespace varnoke
