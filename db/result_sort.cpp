// Ordering the result rows by name or by path.
//
// Both orders are the quicksort the result list has always used, so that
// equal rows end up where they always did. Its comparisons are made cheap:
// each row's place in the order is worked out first, without the
// quicksort, and the quicksort then compares places. As every comparison of
// places gives what the order's own comparison gives, the rows end up
// exactly as the order's own comparisons would leave them. Where the path
// order is no total order over the rows (a file and a directory of one name
// side by side compare equal, and rows below that directory compare equal
// to the file but not to each other), the quicksort compares paths itself.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>
#include <utility>

#include "db/memory_db.h"
#include "db/result_order.h"
#include "platform/upcase.h"

namespace varnoke {
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
    // The names lie all over the tree: asking for a few rows ahead keeps
    // several of them on their way from memory at once.
    constexpr std::size_t kAhead = 8;
    for (std::size_t k = 0; k < rows.size(); ++k) {
      if (k + kAhead < rows.size()) __builtin_prefetch(rows[k + kAhead].Name);
      TSortRow& row = rows[k];
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
template <typename Row, typename Order>
void QuickSort(std::vector<Row>& rows, std::ptrdiff_t left, std::ptrdiff_t right, Order& order) {
  const auto row = [&](std::ptrdiff_t k) -> Row& { return rows[static_cast<std::size_t>(k)]; };
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

// A row's place in the order and where it stood before the sort.
struct TPlacedRow {
  std::uint32_t Place;
  std::uint32_t Row;
};

class TPlaceOrder {
 public:
  void SetPivot(const TPlacedRow& pivot) { pivot_ = pivot.Place; }
  int Compare(const TPlacedRow& row) const {
    return row.Place < pivot_ ? -1 : row.Place > pivot_ ? 1 : 0;
  }

 private:
  std::uint32_t pivot_ = 0;
};

using TPlaces = std::vector<std::uint32_t>;

// The places of the name order, a total order: blanked rows first, then the
// names as CompareRowNames orders them, equal names at one place.
TPlaces NamePlaces(const std::vector<TSortRow>& rows) {
  // Sorted as prefixes with the row beside them, so that the sort moves
  // small keys and reads a name only where two prefixes are equal.
  struct TKey {
    std::uint64_t Prefix;
    std::uint32_t Row;
  };
  std::vector<TKey> keys;
  keys.reserve(rows.size());
  for (std::size_t k = 0; k < rows.size(); ++k) {
    if (rows[k].Name != nullptr) keys.push_back({rows[k].Prefix, static_cast<std::uint32_t>(k)});
  }
  const auto before = [&](const TKey& a, const TKey& b) {
    if (a.Prefix != b.Prefix) return a.Prefix < b.Prefix;
    return platform::CompareNoCase(rows[a.Row].Text, rows[b.Row].Text) < 0;
  };
  std::sort(keys.begin(), keys.end(), before);
  TPlaces places(rows.size(), 0);
  std::uint32_t place = 0;
  for (std::size_t k = 0; k < keys.size(); ++k) {
    if (k == 0 || before(keys[k - 1], keys[k])) ++place;
    places[keys[k].Row] = place;
  }
  return places;
}

// The places of the path order, where it is a total order over the rows.
// The rows and the directories above them form a tree; at each level the
// order is that of the names side by side in one directory, subdirectories
// and rows alike, and directories of one name count as one (their records
// compare equal, and the rows below them are ordered by what follows). A
// walk of that tree in name order meets the rows in path order.
class TPathPlaces {
 public:
  explicit TPathPlaces(const std::vector<TSortRow>& rows) : rows_(rows) {}

  std::optional<TPlaces> Work() {
    places_.assign(rows_.size(), 0);
    groupOf_.reserve(rows_.size());
    items_.reserve(rows_.size() * 2);
    for (std::size_t k = 0; k < rows_.size(); ++k) {
      const TSortRow& row = rows_[k];
      if (row.Name == nullptr) continue;  // blanked: first, at place 0
      const std::uint32_t group = GroupOf(row.Directory);
      items_.push_back({row.Prefix, row.Text, static_cast<std::uint32_t>(k), group, false});
    }
    // Every group's names together, in name order.
    std::sort(items_.begin(), items_.end(), [](const TItem& a, const TItem& b) {
      return a.Group != b.Group ? a.Group < b.Group : Before(a, b);
    });
    groupStarts_.assign(std::size_t{groups_} + 2, 0);
    for (const TItem& item : items_)
      ++groupStarts_[item.Group + 1];
    for (std::size_t g = 1; g < groupStarts_.size(); ++g)
      groupStarts_[g] += groupStarts_[g - 1];
    const std::uint32_t roots = 0;
    if (!Walk({&roots, 1}, 0)) return std::nullopt;
    return std::move(places_);
  }

 private:
  struct TItem {
    std::uint64_t Prefix;
    std::string_view Text;
    std::uint32_t Target;  // a row, or the group of a directory's names
    std::uint32_t Group;   // the group the name stands in
    bool Directory;
  };
  // Chains deeper than this are left to the quicksort's own comparisons.
  static constexpr std::size_t kMaxDepth = 1024;

  static bool Before(const TItem& a, const TItem& b) {
    if (a.Prefix != b.Prefix) return a.Prefix < b.Prefix;
    return platform::CompareNoCase(a.Text, b.Text) < 0;
  }

  // The group of the names in directory (0, the drive roots' and the rows
  // without a directory, for none), made with the groups of the
  // directories above it as needed.
  std::uint32_t GroupOf(const TDirectoryRecord* directory) {
    // Up to the first directory that has a group, then down making them.
    std::vector<const TDirectoryRecord*>& missing = missing_;
    missing.clear();
    std::uint32_t group = 0;
    for (const TDirectoryRecord* d = directory; d != nullptr; d = d->Parent()) {
      if (const auto it = groupOf_.find(d); it != groupOf_.end()) {
        group = it->second;
        break;
      }
      missing.push_back(d);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
      const std::uint32_t made = ++groups_;
      groupOf_.emplace(*it, made);
      items_.push_back({UpperPrefix((*it)->Name()), (*it)->Name(), made, group, true});
      group = made;
    }
    return group;
  }

  // Gives places to the rows of the merged groups and below them, in
  // order; false where the order is not total.
  bool Walk(std::span<const std::uint32_t> merged, std::size_t depth) {
    if (depth > kMaxDepth) return false;
    std::span<const TItem> items(items_.data() + groupStarts_[merged[0]],
                                 groupStarts_[merged[0] + 1] - groupStarts_[merged[0]]);
    std::vector<TItem> pooled;
    if (merged.size() > 1) {
      for (const std::uint32_t group : merged) {
        pooled.insert(pooled.end(), items_.begin() + groupStarts_[group],
                      items_.begin() + groupStarts_[group + 1]);
      }
      std::sort(pooled.begin(), pooled.end(), Before);
      items = pooled;
    }
    for (std::size_t begin = 0; begin < items.size();) {
      std::size_t end = begin + 1;
      while (end < items.size() && !Before(items[begin], items[end]))
        ++end;
      std::size_t directories = 0;
      for (std::size_t k = begin; k < end; ++k)
        directories += items[k].Directory;
      if (directories == 0) {
        ++place_;
        for (std::size_t k = begin; k < end; ++k)
          places_[items[k].Target] = place_;
      } else if (directories != end - begin) {
        // A row and a directory of one name compare equal, but what lies
        // below the directory does not compare equal to the row's own
        // equals: no places then.
        return false;
      } else if (directories == 1) {
        if (!Walk({&items[begin].Target, 1}, depth + 1)) return false;
      } else {
        std::vector<std::uint32_t> twins;
        for (std::size_t k = begin; k < end; ++k)
          twins.push_back(items[k].Target);
        if (!Walk(twins, depth + 1)) return false;
      }
      begin = end;
    }
    return true;
  }

  const std::vector<TSortRow>& rows_;
  std::vector<TItem> items_;
  std::vector<std::size_t> groupStarts_;  // where each group's items start
  std::uint32_t groups_ = 0;              // groups made besides group 0
  std::unordered_map<const TDirectoryRecord*, std::uint32_t> groupOf_;
  std::vector<const TDirectoryRecord*> missing_;
  TPlaces places_;
  std::uint32_t place_ = 0;
};

// Sorts the rows by their places with the quicksort, and writes them back.
// Where no two rows share a place, every sort gives the same order, and the
// rows go straight to their places.
void SortByPlaces(const TPlaces& places, TRowColumn<const char*>& names,
                  TRowColumn<TDirectoryRecord*>& dirs) {
  constexpr std::uint32_t kNone = UINT32_MAX;
  std::vector<std::uint32_t> order(*std::max_element(places.begin(), places.end()) + 1, kNone);
  bool shared = false;
  for (std::size_t k = 0; k < places.size() && !shared; ++k) {
    shared = order[places[k]] != kNone;
    order[places[k]] = static_cast<std::uint32_t>(k);
  }
  if (shared) {
    std::vector<TPlacedRow> placed(places.size());
    for (std::size_t k = 0; k < placed.size(); ++k)
      placed[k] = {places[k], static_cast<std::uint32_t>(k)};
    TPlaceOrder byPlace;
    QuickSort(placed, 0, static_cast<std::ptrdiff_t>(placed.size()) - 1, byPlace);
    order.resize(placed.size());
    for (std::size_t k = 0; k < placed.size(); ++k)
      order[k] = placed[k].Row;
  } else {
    // Places not taken (blanked rows' 0 when there are none) are dropped.
    std::erase(order, kNone);
  }
  TRowColumn<const char*> sortedNames(names.size());
  TRowColumn<TDirectoryRecord*> sortedDirs(dirs.size());
  for (std::size_t k = 0; k < order.size(); ++k) {
    sortedNames[k] = names[order[k]];
    sortedDirs[k] = dirs[order[k]];
  }
  names.swap(sortedNames);
  dirs.swap(sortedDirs);
}

std::vector<TSortRow> SortRowsOf(const TRowColumn<const char*>& names,
                                 const TRowColumn<TDirectoryRecord*>& dirs) {
  std::vector<TSortRow> rows(names.size());
  for (std::size_t k = 0; k < rows.size(); ++k) {
    rows[k].Name = names[k];
    rows[k].Directory = dirs[k];
  }
  return rows;
}

// The order's own comparisons, for rows over which it is no total order.
template <typename Order>
void SortRows(TRowColumn<const char*>& names, TRowColumn<TDirectoryRecord*>& dirs) {
  if (names.empty()) return;
  std::vector<TSortRow> rows = SortRowsOf(names, dirs);
  Order order;
  order.Prepare(rows);
  QuickSort(rows, 0, static_cast<std::ptrdiff_t>(rows.size()) - 1, order);
  for (std::size_t k = 0; k < rows.size(); ++k) {
    names[k] = rows[k].Name;
    dirs[k] = rows[k].Directory;
  }
}

void SortNames(TRowColumn<const char*>& names, TRowColumn<TDirectoryRecord*>& dirs) {
  if (names.empty()) return;
  std::vector<TSortRow> rows = SortRowsOf(names, dirs);
  TNameOrder().Prepare(rows);
  SortByPlaces(NamePlaces(rows), names, dirs);
}

void SortPaths(TRowColumn<const char*>& names, TRowColumn<TDirectoryRecord*>& dirs) {
  if (names.empty()) return;
  std::vector<TSortRow> rows = SortRowsOf(names, dirs);
  TNameOrder().Prepare(rows);  // the rows' own names, as the path order reads them
  if (std::optional<TPlaces> places = TPathPlaces(rows).Work()) {
    SortByPlaces(*places, names, dirs);
  } else {
    SortRows<TPathOrder>(names, dirs);
  }
}

}  // namespace

void TMemoryDB::SortByName() {
  std::lock_guard guard(Lock);
  SortNames(resultNames_, resultDirs_);
}

void TMemoryDB::SortByPath() {
  std::lock_guard guard(Lock);
  SortPaths(resultNames_, resultDirs_);
}

void TMemoryDB::SortRowsByName(TRowList& rows) {
  SortNames(rows.Names, rows.Dirs);
}

void TMemoryDB::SortRowsByPath(TRowList& rows) {
  SortPaths(rows.Names, rows.Dirs);
}

}  // namespace varnoke
