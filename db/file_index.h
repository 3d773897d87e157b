// An index over the file chain of one large directory: the entries by
// name, and the entry before each one. The chain stays the order; the index
// only saves the walks along it, so that a report about a directory of a
// hundred thousand files costs a lookup instead of a pass over all of them.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/tree_records.h"

namespace varnoke {

class TFileIndex {
 public:
  // Indexes the chain that starts at first.
  explicit TFileIndex(TFileEntry* first);

  // A new head of the chain, whose successor is the former head.
  void Added(TFileEntry* entry);
  // Before entry leaves the chain.
  void Removing(TFileEntry* entry);

  // The entry before entry in the chain; null for the head.
  TFileEntry* Previous(const TFileEntry* entry) const;

  // The entries of that name, first in chain order last.
  const std::vector<TFileEntry*>* Named(std::string_view name) const;

 private:
  // Keyed by copies: an entry's name goes with the entry, while others of
  // the same name stay.
  std::unordered_map<std::string, std::vector<TFileEntry*>> byName_;
  std::unordered_map<const TFileEntry*, TFileEntry*> previous_;
};

}  // namespace varnoke
