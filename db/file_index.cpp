#include "db/file_index.h"

#include <algorithm>

namespace varnoke {

TFileIndex::TFileIndex(TFileEntry* first) {
  // Walked from the tail's side, each name's list ends with the entry
  // nearest the head, as adding keeps it.
  std::vector<TFileEntry*> chain;
  for (TFileEntry* e = first; e != nullptr; e = e->Next())
    chain.push_back(e);
  previous_.reserve(chain.size());
  TFileEntry* before = nullptr;
  for (TFileEntry* e : chain) {
    previous_.emplace(e, before);
    before = e;
  }
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    byName_[(*it)->Name()].push_back(*it);
}

void TFileIndex::Added(TFileEntry* entry) {
  byName_[entry->Name()].push_back(entry);
  previous_.emplace(entry, nullptr);
  if (TFileEntry* next = entry->Next()) previous_[next] = entry;
}

void TFileIndex::Removing(TFileEntry* entry) {
  const auto previous = previous_.find(entry);
  if (previous == previous_.end()) return;
  if (TFileEntry* next = entry->Next()) previous_[next] = previous->second;
  previous_.erase(previous);
  const auto named = byName_.find(std::string(entry->Name()));
  if (named == byName_.end()) return;
  auto& entries = named->second;
  entries.erase(std::remove(entries.begin(), entries.end(), entry), entries.end());
  if (entries.empty()) byName_.erase(named);
}

TFileEntry* TFileIndex::Previous(const TFileEntry* entry) const {
  const auto previous = previous_.find(entry);
  return previous == previous_.end() ? nullptr : previous->second;
}

const std::vector<TFileEntry*>* TFileIndex::Named(std::string_view name) const {
  const auto named = byName_.find(std::string(name));
  return named == byName_.end() ? nullptr : &named->second;
}

}  // namespace varnoke
