// The result rows: reading them out, keeping them sound while the tree
// changes, and ordering them.
#include <algorithm>
#include <cstdint>
#include <utility>

#include "db/memory_db.h"
#include "db/result_order.h"
#include "platform/upcase.h"

namespace varnoke {

void TMemoryDB::ClearResults() noexcept {
  // Fresh lists, so that a large result's memory goes back at once.
  TRowColumn<const char*>().swap(resultNames_);
  TRowColumn<TDirectoryRecord*>().swap(resultDirs_);
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

// A row as the sorts see it, with what its comparisons need worked out once
// per sort rather than once per comparison: the name's text and the first
// eight bytes of its upper-cased form, and the row's directories from the
// drive root down, listed in the sort's table.
struct TSortRow {
  const char* Name = nullptr;
  TDirectoryRecord* Directory = nullptr;
  std::string_view Text;
  std::uint64_t Prefix = 0;  // big-endian, so that it orders as the bytes do
  std::size_t Chain = 0;     // where the directories start in the table
  std::size_t Depth = 0;
};

// Bytes that upper-casing leaves as they are, one character each.
bool Plain(char c) noexcept {
  return static_cast<unsigned char>(c) < 0x80 && (c < 'a' || c > 'z');
}

std::uint64_t UpperPrefix(std::string_view name) {
  std::string upper;
  std::string_view text = name.substr(0, 8);
  if (!std::all_of(text.begin(), text.end(), Plain)) {
    upper = platform::UpperCase(name);
    text = std::string_view(upper).substr(0, 8);
  }
  std::uint64_t prefix = 0;
  for (std::size_t i = 0; i < 8; ++i)
    prefix = prefix << 8 | (i < text.size() ? static_cast<unsigned char>(text[i]) : 0);
  return prefix;
}

// Upper-cased texts hold no NUL: a shorter one, padded with zeros, orders
// first, as it does in the full comparison.
int CompareRowNames(const TSortRow& a, const TSortRow& b) {
  if (a.Name == nullptr || b.Name == nullptr) return CompareNames(a.Name, b.Name);
  if (a.Prefix != b.Prefix) return a.Prefix < b.Prefix ? -1 : 1;
  return platform::CompareNoCase(a.Text, b.Text);
}

class TNameOrder {
 public:
  void Prepare(std::vector<TSortRow>& rows) {
    for (TSortRow& row : rows) {
      if (row.Name == nullptr) continue;
      row.Text = row.Name;
      row.Prefix = UpperPrefix(row.Text);
    }
  }
  void SetPivot(const TSortRow& pivot) { pivot_ = pivot; }
  int Compare(const TSortRow& row) const { return CompareRowNames(row, pivot_); }

 private:
  TSortRow pivot_;
};

// ComparePaths over the listed directories, each with the upper-cased
// prefix of its name.
class TPathOrder {
 public:
  void Prepare(std::vector<TSortRow>& rows) {
    const TSortRow* previous = nullptr;
    for (TSortRow& row : rows) {
      if (row.Name != nullptr) {
        row.Text = row.Name;
        row.Prefix = UpperPrefix(row.Text);
      }
      if (previous != nullptr && previous->Directory == row.Directory) {
        // Rows of one directory stand together in a search's order.
        row.Chain = previous->Chain;
        row.Depth = previous->Depth;
      } else {
        row.Chain = chains_.size();
        for (const TDirectoryRecord* r = row.Directory; r != nullptr; r = r->Parent())
          chains_.push_back({r, UpperPrefix(r->Name())});
        row.Depth = chains_.size() - row.Chain;
        std::reverse(chains_.begin() + static_cast<std::ptrdiff_t>(row.Chain), chains_.end());
      }
      previous = &row;
    }
  }
  void SetPivot(const TSortRow& pivot) { pivot_ = pivot; }
  int Compare(const TSortRow& row) const { return ComparePaths(row, pivot_); }

 private:
  struct TLevel {
    const TDirectoryRecord* Record;
    std::uint64_t Prefix;
  };

  static int CompareTexts(std::uint64_t prefixA, std::string_view a, std::uint64_t prefixB,
                          std::string_view b) {
    if (prefixA != prefixB) return prefixA < prefixB ? -1 : 1;
    return platform::CompareNoCase(a, b);
  }

  int ComparePaths(const TSortRow& a, const TSortRow& b) const {
    const TLevel* chainA = chains_.data() + a.Chain;
    const TLevel* chainB = chains_.data() + b.Chain;
    for (std::size_t t = 0;; ++t) {
      const bool levelA = t < a.Depth;
      const bool levelB = t < b.Depth;
      if (levelA && levelB) {
        if (chainA[t].Record == chainB[t].Record) continue;  // one record: the same name
        const int r = CompareTexts(chainA[t].Prefix, chainA[t].Record->Name(), chainB[t].Prefix,
                                   chainB[t].Record->Name());
        if (r != 0) return r;
        continue;
      }
      if (levelA) {
        if (b.Name == nullptr) return 1;
        return CompareTexts(chainA[t].Prefix, chainA[t].Record->Name(), b.Prefix, b.Text);
      }
      if (levelB) {
        if (a.Name == nullptr) return -1;
        return CompareTexts(a.Prefix, a.Text, chainB[t].Prefix, chainB[t].Record->Name());
      }
      // Both chains end here. A row without a name is a blanked one, and
      // blanked rows order first whichever side they are on.
      return CompareRowNames(a, b);
    }
  }

  std::vector<TLevel> chains_;
  TSortRow pivot_;
};

// The quicksort the result list has always used: middle pivot copied out,
// Hoare partition, rows moved whole. Equal rows may change places.
// The smaller side is sorted by recursion and the larger one by the loop, so
// the stack stays shallow whatever the input; the order in which the two
// sides are sorted does not change the result, as they never overlap.
template <typename Order>
void QuickSort(std::vector<TSortRow>& rows, std::ptrdiff_t left, std::ptrdiff_t right,
               Order& order) {
  const auto row = [&](std::ptrdiff_t k) -> TSortRow& { return rows[static_cast<std::size_t>(k)]; };
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
        std::swap(row(i), row(j));
        ++i;
        --j;
      }
    } while (i <= j);
    if (j - left < right - i) {
      if (left < j) QuickSort(rows, left, j, order);
      left = i;
    } else {
      if (i < right) QuickSort(rows, i, right, order);
      right = j;
    }
  }
}

template <typename Order>
void SortRows(TRowColumn<const char*>& names, TRowColumn<TDirectoryRecord*>& dirs) {
  if (names.empty()) return;
  std::vector<TSortRow> rows(names.size());
  for (std::size_t k = 0; k < rows.size(); ++k) {
    rows[k].Name = names[k];
    rows[k].Directory = dirs[k];
  }
  Order order;
  order.Prepare(rows);
  QuickSort(rows, 0, static_cast<std::ptrdiff_t>(rows.size()) - 1, order);
  for (std::size_t k = 0; k < rows.size(); ++k) {
    names[k] = rows[k].Name;
    dirs[k] = rows[k].Directory;
  }
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
