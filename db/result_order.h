// The two orderings of result rows: by name, and by path compared component
// by component from the drive root.
#pragma once

#include <cstddef>

#include "db/tree_records.h"

namespace varnoke {

// A row as the comparisons see it: the name it shows and the directory that
// holds it. Both are null in a blanked row; the directory alone is null in
// the row of a drive root.
struct TResultRow {
  const char* Name = nullptr;
  const TDirectoryRecord* Directory = nullptr;
};

// Directory chains up to this depth (a drive root and 19 levels below it)
// are compared within fixed tables, without allocating; deeper ones are
// compared the same way through a table on the heap.
inline constexpr std::size_t MaxCompareDepth = 20;

// Case-blind three-way comparison of two names; a null name orders before
// every name, and two null names are equal.
int CompareNames(const char* x, const char* y) noexcept;

// Orders rows as their full paths, component by component from the drive
// root: at each level a directory name against the other row's directory
// name, or, where one row's directories end first, against its name.
// Blanked rows come before all others.
int ComparePaths(const TResultRow& a, const TResultRow& b);

}  // namespace varnoke
