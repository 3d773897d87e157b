// Lookup structures over the directory chain of one TDDList: the
// subdirectories of each record, and the records by (parent, name).
//
// The chain itself stays the tree's order; the index only answers "which
// records" quickly. Lookups by (parent, name) give the first matching record
// in chain order, as a walk of the chain would.
//
// Every record is linked into the list of its parent's children (the drive
// roots into a list of their own). A lookup walks that list; a parent whose
// list is long (a wide directory) gets its children entered in a hash table
// on the first lookup that walks it, and is looked up there from then on.
// Most directories hold a handful of others, so the table stays small: a
// tree of millions of directories pays for the few wide ones only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "db/tree_records.h"
#include "platform/large_memory.h"

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
  TDirectoryRecord* Find(std::string_view name, const TDirectoryRecord* parent) noexcept;

  // Appends every record with exactly this name and this parent to out, in
  // chain order; the same search as Find.
  void FindAll(std::string_view name, const TDirectoryRecord* parent,
               std::vector<TDirectoryRecord*>& out);

  // Appends the records whose parent is directory, in no particular order.
  static void AppendChildren(const TDirectoryRecord* directory,
                             std::vector<TDirectoryRecord*>& out);

 private:
  struct Slot {
    TDirectoryRecord* record = nullptr;
    std::uint64_t hash = 0;
  };

  // Lists of this many children and more are looked up in the table.
  static constexpr std::size_t kWideFrom = 32;

  static std::uint64_t Hash(std::string_view name, const TDirectoryRecord* parent) noexcept;
  TDirectoryRecord*& FirstChild(const TDirectoryRecord* parent) noexcept;
  bool Wide(const TDirectoryRecord* parent) const noexcept;
  // Looks up the children of parent in the table from now on, if its list
  // is long enough to be worth it and the table can grow.
  void Widen(const TDirectoryRecord* parent, std::size_t children) noexcept;
  void Grow();
  void Place(TDirectoryRecord* record, std::uint64_t hash) noexcept;
  void Enter(TDirectoryRecord* record);
  void Remove(TDirectoryRecord* record) noexcept;
  // Calls visit(record) for each record with this name and parent.
  template <typename Visitor>
  void ForEachNamed(std::string_view name, const TDirectoryRecord* parent, const Visitor& visit);

  TDirectoryRecord* firstRoot_ = nullptr;  // the records without a parent
  bool rootsWide_ = false;
  // Children of wide parents, open addressing; empty while no parent is wide.
  std::vector<Slot, platform::TLargeAllocator<Slot>> slots_;
  std::size_t mask_ = 0;
  std::size_t size_ = 0;
};

}  // namespace varnoke
