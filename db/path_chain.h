// The directory chain of a row, from the drive root down, as the path
// ordering walks it.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "db/result_order.h"
#include "db/tree_records.h"

namespace varnoke {

class TPathChain {
 public:
  // Lists directory and its ancestors. Chains up to MaxCompareDepth records
  // fill the fixed table; deeper ones go to a heap table of their own size.
  explicit TPathChain(const TDirectoryRecord* directory) {
    for (const TDirectoryRecord* r = directory; r != nullptr; r = r->Parent())
      ++depth_;
    if (depth_ > MaxCompareDepth) {
      deep_.resize(depth_);
      table_ = deep_.data();
    }
    std::size_t level = depth_;
    for (const TDirectoryRecord* r = directory; r != nullptr; r = r->Parent())
      table_[--level] = r;
  }
  TPathChain(const TPathChain&) = delete;
  TPathChain& operator=(const TPathChain&) = delete;

  std::size_t Depth() const noexcept { return depth_; }
  // The record at level (0 is the drive root); level < Depth().
  const TDirectoryRecord* At(std::size_t level) const noexcept { return table_[level]; }

 private:
  std::array<const TDirectoryRecord*, MaxCompareDepth> fixed_{};
  std::vector<const TDirectoryRecord*> deep_;
  const TDirectoryRecord** table_ = fixed_.data();
  std::size_t depth_ = 0;
};

// ComparePaths with the chains of both rows listed already, for a sort that
// compares many rows against one pivot.
int ComparePaths(const TResultRow& a, const TPathChain& chainA, const TResultRow& b,
                 const TPathChain& chainB);

}  // namespace varnoke
