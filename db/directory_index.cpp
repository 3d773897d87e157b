#include "db/directory_index.h"

#include <algorithm>

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
  for (TDirectoryRecord* r = first; r != nullptr; r = r->next_) {
    r->firstChild_ = r->nextSibling_ = r->prevSibling_ = nullptr;
    r->wideParent_ = false;
  }
  // No parent is wide yet: linking the children allocates nothing.
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

TDirectoryRecord*& TDirectoryIndex::FirstChild(const TDirectoryRecord* parent) noexcept {
  return parent != nullptr ? const_cast<TDirectoryRecord*>(parent)->firstChild_ : firstRoot_;
}

bool TDirectoryIndex::Wide(const TDirectoryRecord* parent) const noexcept {
  return parent != nullptr ? parent->wideParent_ : rootsWide_;
}

void TDirectoryIndex::Place(TDirectoryRecord* record, std::uint64_t hash) noexcept {
  std::size_t i = hash & mask_;
  while (slots_[i].record != nullptr)
    i = (i + 1) & mask_;
  slots_[i] = Slot{record, hash};
  ++size_;
}

void TDirectoryIndex::Grow() {
  decltype(slots_) old(std::max(slots_.size() * 2, kInitialCapacity));
  old.swap(slots_);
  mask_ = slots_.size() - 1;
  size_ = 0;
  for (const Slot& slot : old) {
    if (slot.record != nullptr) Place(slot.record, slot.hash);
  }
}

void TDirectoryIndex::Enter(TDirectoryRecord* record) {
  // Keep the table at most half full.
  if ((size_ + 1) * 2 > slots_.size()) Grow();
  Place(record, Hash(record->Name(), record->parent_));
}

void TDirectoryIndex::Widen(const TDirectoryRecord* parent, std::size_t children) noexcept {
  if (children < kWideFrom) return;
  try {
    while ((size_ + children) * 2 > slots_.size())
      Grow();
  } catch (...) {
    return;  // the list still answers, only slower
  }
  for (TDirectoryRecord* c = FirstChild(parent); c != nullptr; c = c->nextSibling_)
    Place(c, Hash(c->Name(), parent));
  if (parent != nullptr) {
    const_cast<TDirectoryRecord*>(parent)->wideParent_ = true;
  } else {
    rootsWide_ = true;
  }
}

void TDirectoryIndex::Insert(TDirectoryRecord* record) {
  TDirectoryRecord*& first = FirstChild(record->parent_);
  record->prevSibling_ = nullptr;
  record->nextSibling_ = first;
  if (first != nullptr) first->prevSibling_ = record;
  first = record;
  if (Wide(record->parent_)) Enter(record);
}

void TDirectoryIndex::Remove(TDirectoryRecord* record) noexcept {
  std::size_t i = Hash(record->Name(), record->parent_) & mask_;
  while (slots_[i].record != record) {
    if (slots_[i].record == nullptr) return;  // not entered
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
}

void TDirectoryIndex::Erase(TDirectoryRecord* record) noexcept {
  if (Wide(record->parent_) && !slots_.empty()) Remove(record);
  if (record->prevSibling_ != nullptr) {
    record->prevSibling_->nextSibling_ = record->nextSibling_;
  } else {
    FirstChild(record->parent_) = record->nextSibling_;
  }
  if (record->nextSibling_ != nullptr) record->nextSibling_->prevSibling_ = record->prevSibling_;
  record->prevSibling_ = record->nextSibling_ = nullptr;
}

template <typename Visitor>
void TDirectoryIndex::ForEachNamed(std::string_view name, const TDirectoryRecord* parent,
                                   const Visitor& visit) {
  if (Wide(parent)) {
    // Duplicates of one (parent, name) are possible; all of them sit in the
    // same probe run.
    const std::uint64_t hash = Hash(name, parent);
    for (std::size_t i = hash & mask_; slots_[i].record != nullptr; i = (i + 1) & mask_) {
      TDirectoryRecord* r = slots_[i].record;
      if (slots_[i].hash == hash && r->parent_ == parent && r->Name() == name) visit(r);
    }
    return;
  }
  std::size_t children = 0;
  for (TDirectoryRecord* c = FirstChild(parent); c != nullptr; c = c->nextSibling_) {
    if (c->Name() == name) visit(c);
    ++children;
  }
  Widen(parent, children);
}

TDirectoryRecord* TDirectoryIndex::Find(std::string_view name,
                                        const TDirectoryRecord* parent) noexcept {
  TDirectoryRecord* best = nullptr;
  // The earliest in chain order wins.
  ForEachNamed(name, parent, [&](TDirectoryRecord* r) {
    if (best == nullptr || r->order_ < best->order_) best = r;
  });
  return best;
}

void TDirectoryIndex::FindAll(std::string_view name, const TDirectoryRecord* parent,
                              std::vector<TDirectoryRecord*>& out) {
  const std::size_t begin = out.size();
  ForEachNamed(name, parent, [&](TDirectoryRecord* r) { out.push_back(r); });
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
