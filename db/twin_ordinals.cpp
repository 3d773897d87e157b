#include "db/twin_ordinals.h"

#include <algorithm>
#include <string>

namespace varnoke {

// Gives every child of parent its ordinal at once: one pass over the
// children for all rows below them, however many there are.
void TTwinOrdinals::GroupChildren(TDirectoryRecord* parent) {
  children_.clear();
  list_.AppendSubdirectories(parent, children_);
  std::sort(children_.begin(), children_.end(),
            [](const TDirectoryRecord* a, const TDirectoryRecord* b) {
              if (a->Name() != b->Name()) return a->Name() < b->Name();
              return TDDList::ChainOrder(a) < TDDList::ChainOrder(b);
            });
  for (std::size_t i = 0; i < children_.size();) {
    std::size_t end = i + 1;
    while (end < children_.size() && children_[end]->Name() == children_[i]->Name())
      ++end;
    // A file of the same name is a twin too: on the disk the two names
    // differ in case, and the fast lookup by exact name could meet either.
    const bool sole = end - i == 1 && list_.FindFile(parent, children_[i]->Name()) == nullptr;
    for (std::size_t k = i; k < end; ++k) {
      directoryOrdinals_[children_[k]] = sole ? kSoleName : static_cast<std::uint32_t>(k - i);
    }
    i = end;
  }
}

std::uint32_t TTwinOrdinals::DirectoryOrdinal(TDirectoryRecord* record) {
  auto it = directoryOrdinals_.find(record);
  if (it == directoryOrdinals_.end()) {
    GroupChildren(record->Parent());
    it = directoryOrdinals_.find(record);
    if (it == directoryOrdinals_.end()) return kSoleName;
  }
  return it->second;
}

std::uint32_t TTwinOrdinals::FileOrdinal(const char* name, TDirectoryRecord* directory) {
  const std::string_view text(name);
  const std::vector<TFileEntry*> named = list_.FilesNamed(directory, text);
  if (named.size() <= 1 && list_.FindDirectory(text, directory) == nullptr) return kSoleName;
  for (std::size_t k = 0; k < named.size(); ++k) {
    if (named[k]->Name() == name) return static_cast<std::uint32_t>(k);
  }
  return 0;
}

// The subdirectory of parent whose name is at that address, or null.
TDirectoryRecord* TTwinOrdinals::RecordOfName(const char* name, TDirectoryRecord* parent) {
  // The first of the name is the row's record unless the row shows a later
  // twin; only then are the siblings walked.
  TDirectoryRecord* record = list_.FindDirectory(name, parent);
  if (record == nullptr || record->NameAddress() == name) return record;
  children_.clear();
  list_.AppendSubdirectories(parent, children_);
  for (TDirectoryRecord* child : children_) {
    if (child->NameAddress() == name) return child;
  }
  return nullptr;
}

bool TTwinOrdinals::RowIsDirectory(const char* name, TDirectoryRecord* directory) {
  return name != nullptr && directory != nullptr && RecordOfName(name, directory) != nullptr;
}

bool TTwinOrdinals::Compute(const char* name, TDirectoryRecord* directory, bool nameIsDirectory,
                            std::vector<std::uint32_t>& ordinals) {
  ordinals.clear();
  // A blanked row, or a drive root shown as a row of its own.
  if (name == nullptr || directory == nullptr) return false;
  chain_.clear();
  for (TDirectoryRecord* r = directory; r->Parent() != nullptr; r = r->Parent())
    chain_.push_back(r);
  bool twins = false;
  for (auto r = chain_.rbegin(); r != chain_.rend(); ++r) {
    ordinals.push_back(DirectoryOrdinal(*r));
    twins = twins || ordinals.back() != kSoleName;
  }
  std::uint32_t last = kSoleName;
  if (nameIsDirectory) {
    // Not in RecordOfName's loop: the lookup may refill children_.
    if (TDirectoryRecord* record = RecordOfName(name, directory)) last = DirectoryOrdinal(record);
  } else {
    last = FileOrdinal(name, directory);
  }
  ordinals.push_back(last);
  twins = twins || last != kSoleName;
  if (!twins) ordinals.clear();
  return twins;
}

}  // namespace varnoke
