// Lookup structures over the directory chain of one TDDList: the records by
// (parent, name), and the subdirectories of each record.
//
// The chain itself stays the tree's order; the index only answers "which
// records" quickly. Lookups by (parent, name) give the first matching record
// in chain order, as a walk of the chain would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "db/tree_records.h"

namespace varnoke {

class TDirectoryIndex {
 public:
  // Indexes every record of the chain that starts at first.
  explicit TDirectoryIndex(TDirectoryRecord* first);
  TDirectoryIndex(const TDirectoryIndex&) = delete;
  TDirectoryIndex& operator=(const TDirectoryIndex&) = delete;

  // Adds a record that has just joined the chain or has just been renamed.
  // Its parent, if any, must be indexed already.
  void Insert(TDirectoryRecord* record);

  // Removes a record before it leaves the chain or changes its name or
  // parent. Its parent must still be alive.
  void Erase(TDirectoryRecord* record) noexcept;

  // The first record in chain order with exactly this name and this parent.
  TDirectoryRecord* Find(std::string_view name, const TDirectoryRecord* parent) const noexcept;

  // Appends every record with exactly this name and this parent to out, in
  // chain order; the same probe as Find.
  void FindAll(std::string_view name, const TDirectoryRecord* parent,
               std::vector<TDirectoryRecord*>& out) const;

  // Appends the records whose parent is directory, in no particular order.
  static void AppendChildren(const TDirectoryRecord* directory,
                             std::vector<TDirectoryRecord*>& out);

 private:
  struct Slot {
    TDirectoryRecord* record = nullptr;
    std::uint64_t hash = 0;
  };

  static std::uint64_t Hash(std::string_view name, const TDirectoryRecord* parent) noexcept;
  void Grow();
  void Place(TDirectoryRecord* record, std::uint64_t hash) noexcept;

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t size_ = 0;
};

}  // namespace varnoke
