#include "db/directory_index.h"

#include <algorithm>
#include <bit>

namespace varnoke {
namespace {

constexpr std::size_t kInitialCapacity = 64;

std::uint64_t Mix(std::uint64_t h) noexcept {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  h ^= h >> 33;
  return h;
}

}  // namespace

TDirectoryIndex::TDirectoryIndex(TDirectoryRecord* first) {
  std::size_t count = 0;
  for (TDirectoryRecord* r = first; r != nullptr; r = r->next_) {
    r->firstChild_ = r->nextSibling_ = r->prevSibling_ = nullptr;
    ++count;
  }
  // Keep the table at most half full.
  const std::size_t capacity =
      std::bit_ceil(count * 2 > kInitialCapacity ? count * 2 : kInitialCapacity);
  slots_.resize(capacity);
  mask_ = capacity - 1;
  for (TDirectoryRecord* r = first; r != nullptr; r = r->next_)
    Insert(r);
}

std::uint64_t TDirectoryIndex::Hash(std::string_view name,
                                    const TDirectoryRecord* parent) noexcept {
  std::uint64_t h = 0xcbf29ce484222325ULL;  // FNV-1a over the name
  for (const char c : name) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ULL;
  }
  return Mix(h ^ Mix(reinterpret_cast<std::uintptr_t>(parent)));
}

void TDirectoryIndex::Place(TDirectoryRecord* record, std::uint64_t hash) noexcept {
  std::size_t i = hash & mask_;
  while (slots_[i].record != nullptr)
    i = (i + 1) & mask_;
  slots_[i] = Slot{record, hash};
  ++size_;
}

void TDirectoryIndex::Grow() {
  std::vector<Slot> old(slots_.size() * 2);
  old.swap(slots_);
  mask_ = slots_.size() - 1;
  size_ = 0;
  for (const Slot& slot : old) {
    if (slot.record != nullptr) Place(slot.record, slot.hash);
  }
}

void TDirectoryIndex::Insert(TDirectoryRecord* record) {
  if ((size_ + 1) * 2 > slots_.size()) Grow();
  Place(record, Hash(record->Name(), record->parent_));

  record->prevSibling_ = nullptr;
  record->nextSibling_ = nullptr;
  if (TDirectoryRecord* parent = record->parent_) {
    record->nextSibling_ = parent->firstChild_;
    if (parent->firstChild_ != nullptr) parent->firstChild_->prevSibling_ = record;
    parent->firstChild_ = record;
  }
}

void TDirectoryIndex::Erase(TDirectoryRecord* record) noexcept {
  std::size_t i = Hash(record->Name(), record->parent_) & mask_;
  while (slots_[i].record != record) {
    if (slots_[i].record == nullptr) return;  // not indexed
    i = (i + 1) & mask_;
  }
  // Backward-shift deletion keeps every remaining record reachable from its
  // home slot without tombstones.
  std::size_t hole = i;
  for (std::size_t j = (i + 1) & mask_; slots_[j].record != nullptr; j = (j + 1) & mask_) {
    const std::size_t home = slots_[j].hash & mask_;
    const bool movable = hole <= j ? (home <= hole || home > j) : (home <= hole && home > j);
    if (movable) {
      slots_[hole] = slots_[j];
      hole = j;
    }
  }
  slots_[hole] = Slot{};
  --size_;

  if (record->prevSibling_ != nullptr) {
    record->prevSibling_->nextSibling_ = record->nextSibling_;
  } else if (record->parent_ != nullptr) {
    record->parent_->firstChild_ = record->nextSibling_;
  }
  if (record->nextSibling_ != nullptr) record->nextSibling_->prevSibling_ = record->prevSibling_;
  record->prevSibling_ = record->nextSibling_ = nullptr;
}

TDirectoryRecord* TDirectoryIndex::Find(std::string_view name,
                                        const TDirectoryRecord* parent) const noexcept {
  const std::uint64_t hash = Hash(name, parent);
  TDirectoryRecord* best = nullptr;
  // Duplicates of one (parent, name) are possible; all of them sit in the
  // same probe run, and the earliest in chain order wins.
  for (std::size_t i = hash & mask_; slots_[i].record != nullptr; i = (i + 1) & mask_) {
    TDirectoryRecord* r = slots_[i].record;
    if (slots_[i].hash == hash && r->parent_ == parent && r->Name() == name &&
        (best == nullptr || r->order_ < best->order_)) {
      best = r;
    }
  }
  return best;
}

void TDirectoryIndex::FindAll(std::string_view name, const TDirectoryRecord* parent,
                              std::vector<TDirectoryRecord*>& out) const {
  const std::uint64_t hash = Hash(name, parent);
  const std::size_t begin = out.size();
  for (std::size_t i = hash & mask_; slots_[i].record != nullptr; i = (i + 1) & mask_) {
    TDirectoryRecord* r = slots_[i].record;
    if (slots_[i].hash == hash && r->parent_ == parent && r->Name() == name) out.push_back(r);
  }
  if (out.size() - begin > 1) {
    std::sort(
        out.begin() + static_cast<std::ptrdiff_t>(begin), out.end(),
        [](const TDirectoryRecord* a, const TDirectoryRecord* b) { return a->order_ < b->order_; });
  }
}

void TDirectoryIndex::AppendChildren(const TDirectoryRecord* directory,
                                     std::vector<TDirectoryRecord*>& out) {
  for (TDirectoryRecord* c = directory->firstChild_; c != nullptr; c = c->nextSibling_) {
    out.push_back(c);
  }
}

}  // namespace varnoke
