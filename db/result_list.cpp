// The result rows: reading them out, keeping them sound while the tree
// changes, and ordering them.
#include <optional>
#include <utility>

#include "db/memory_db.h"
#include "db/path_chain.h"
#include "db/result_order.h"

namespace varnoke {

void TMemoryDB::ClearResults() noexcept {
  // Fresh lists, so that a large result's memory goes back at once.
  std::vector<const char*>().swap(resultNames_);
  std::vector<TDirectoryRecord*>().swap(resultDirs_);
}

void TMemoryDB::AppendRow(TRowList& rows, const char* name, TDirectoryRecord* directory) {
  // Grow both lists before touching either, so that running out of memory
  // never leaves them with different lengths.
  if (rows.Names.size() == rows.Names.capacity() || rows.Dirs.size() == rows.Dirs.capacity()) {
    const std::size_t capacity = rows.Names.empty() ? 64 : rows.Names.size() * 2;
    rows.Names.reserve(capacity);
    rows.Dirs.reserve(capacity);
  }
  rows.Names.push_back(name);
  rows.Dirs.push_back(directory);
}

std::string TMemoryDB::ResultName(int index) const {
  std::lock_guard guard(Lock);
  if (!ValidRow(index)) return {};
  const char* name = resultNames_[static_cast<std::size_t>(index)];
  return name == nullptr ? std::string(kFileDeleted) : std::string(name);
}

std::string TMemoryDB::ResultFullPath(int index) const {
  std::lock_guard guard(Lock);
  if (!ValidRow(index)) return {};
  return RowFullPath(resultNames_[static_cast<std::size_t>(index)],
                     resultDirs_[static_cast<std::size_t>(index)]);
}

std::string TMemoryDB::RowFullPath(const char* name, const TDirectoryRecord* directory) const {
  if (name == nullptr) return std::string(kFileDeleted);
  // A named row without a directory is a drive root; its path is the root
  // itself, "C:\".
  if (directory == nullptr) return std::string(name) + '\\';
  return DirectoryPath(directory) + name;
}

std::string TMemoryDB::ResultDirectory(int index) const {
  std::lock_guard guard(Lock);
  if (!ValidRow(index)) return {};
  return DirectoryPath(resultDirs_[static_cast<std::size_t>(index)]);
}

int TMemoryDB::FindFileResult(const TFileEntry* entry) const noexcept {
  const char* name = entry->Name();
  for (std::size_t i = 0; i < resultNames_.size(); ++i) {
    if (resultNames_[i] == name) return static_cast<int>(i);
  }
  return -1;
}

void TMemoryDB::SetResult(int index, const char* name, TDirectoryRecord* directory) noexcept {
  if (!ValidRow(index)) return;
  resultNames_[static_cast<std::size_t>(index)] = name;
  resultDirs_[static_cast<std::size_t>(index)] = directory;
}

void TMemoryDB::BlankFileResult(const TFileEntry* entry) noexcept {
  const int row = FindFileResult(entry);
  if (row >= 0) SetResult(row, nullptr, nullptr);
}

void TMemoryDB::BlankDirectoryResults(const TDirectoryRecord* directory) noexcept {
  for (std::size_t i = 0; i < resultDirs_.size(); ++i) {
    if (resultDirs_[i] == directory) {
      resultNames_[i] = nullptr;
      resultDirs_[i] = nullptr;
    }
  }
}

namespace {

// Row orders for the sort: each compares rows against a pivot that is set
// once per partition.
class TNameOrder {
 public:
  void SetPivot(const TResultRow& pivot) { pivot_ = pivot; }
  int Compare(const TResultRow& row) const { return CompareNames(row.Name, pivot_.Name); }

 private:
  TResultRow pivot_;
};

class TPathOrder {
 public:
  void SetPivot(const TResultRow& pivot) {
    pivot_ = pivot;
    chain_.emplace(pivot.Directory);  // listed once per partition, not per comparison
  }
  int Compare(const TResultRow& row) const {
    return ComparePaths(row, TPathChain(row.Directory), pivot_, *chain_);
  }

 private:
  TResultRow pivot_;
  std::optional<TPathChain> chain_;
};

// The quicksort the result list has always used: middle pivot copied out,
// Hoare partition, both lists moved together. Equal rows may change places.
// The smaller side is sorted by recursion and the larger one by the loop, so
// the stack stays shallow whatever the input; the order in which the two
// sides are sorted does not change the result, as they never overlap.
template <typename Order>
void QuickSort(std::vector<const char*>& names, std::vector<TDirectoryRecord*>& dirs,
               std::ptrdiff_t left, std::ptrdiff_t right, Order& order) {
  const auto row = [&](std::ptrdiff_t k) {
    return TResultRow{names[static_cast<std::size_t>(k)], dirs[static_cast<std::size_t>(k)]};
  };
  while (left < right) {
    order.SetPivot(row((left + right) / 2));
    std::ptrdiff_t i = left;
    std::ptrdiff_t j = right;
    do {
      // The bounds never stop a scan for a consistent order; they keep an
      // inconsistent one inside the range.
      while (i < right && order.Compare(row(i)) < 0)
        ++i;
      while (j > left && order.Compare(row(j)) > 0)
        --j;
      if (i <= j) {
        std::swap(names[static_cast<std::size_t>(i)], names[static_cast<std::size_t>(j)]);
        std::swap(dirs[static_cast<std::size_t>(i)], dirs[static_cast<std::size_t>(j)]);
        ++i;
        --j;
      }
    } while (i <= j);
    if (j - left < right - i) {
      if (left < j) QuickSort(names, dirs, left, j, order);
      left = i;
    } else {
      if (i < right) QuickSort(names, dirs, i, right, order);
      right = j;
    }
  }
}

template <typename Order>
void SortRows(std::vector<const char*>& names, std::vector<TDirectoryRecord*>& dirs) {
  if (names.empty()) return;
  Order order;
  QuickSort(names, dirs, 0, static_cast<std::ptrdiff_t>(names.size()) - 1, order);
}

}  // namespace

void TMemoryDB::SortByName() {
  std::lock_guard guard(Lock);
  SortRows<TNameOrder>(resultNames_, resultDirs_);
}

void TMemoryDB::SortByPath() {
  std::lock_guard guard(Lock);
  SortRows<TPathOrder>(resultNames_, resultDirs_);
}

void TMemoryDB::SortRowsByName(TRowList& rows) {
  SortRows<TNameOrder>(rows.Names, rows.Dirs);
}

void TMemoryDB::SortRowsByPath(TRowList& rows) {
  SortRows<TPathOrder>(rows.Names, rows.Dirs);
}

}  // namespace varnoke
