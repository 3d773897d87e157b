// The three searches over the tree and their dispatch.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <thread>

#include "db/memory_db.h"
#include "db/name_filter.h"
#include "db/wildcard.h"
#include "platform/upcase.h"

namespace varnoke {
namespace {

// Trees from this many files on are searched by two threads or more.
constexpr std::size_t kParallelFrom = 200'000;
// Stretches of the chain per thread: enough that a thread the machine
// holds back leaves its share to the others.
constexpr std::size_t kStretchesPerThread = 8;

// An upper-cased file-name pattern with its required literal.
struct TFilePattern {
  std::string_view Pattern;
  std::string_view Literal;

  bool Matches(const char* name) const noexcept {
    return MatchWildcardTerminated(name, Pattern.data(), Pattern.size());
  }
};

std::uintptr_t Address(const void* p) noexcept {
  return reinterpret_cast<std::uintptr_t>(p);
}

// Appends the rows of directory's matching files in chain order. Entries
// ahead of the packed tail are matched one by one; in the packed tail only
// the entries whose names hold the literal are, found by searching the
// block for it: the entry that holds a place is the last one of the tail
// that starts at or before it.
template <typename Append>
void SearchDirectoryFiles(TDirectoryRecord* directory, const TFilePattern& pattern,
                          Append&& append) {
  const TFileEntry* packed = directory->PackedFiles();
  const TFileEntry* e = directory->Files();
  for (; e != nullptr && e != packed; e = e->Next()) {
    if (pattern.Matches(e->Name())) append(e->Name(), directory);
  }
  if (e == nullptr) return;
  if (pattern.Literal.empty()) {
    for (; e != nullptr; e = e->Next()) {
      if (pattern.Matches(e->Name())) append(e->Name(), directory);
    }
    return;
  }
  const char* end = directory->PackedEnd();
  const char* from = e->Name();
  while (const char* found = FindLiteral(from, end, pattern.Literal)) {
    for (const TFileEntry* next; (next = e->Next()) != nullptr && Address(next) <= Address(found);)
      e = next;
    // found lies in e's name, or in space of the block that no longer
    // belongs to the chain; e is tested once either way.
    if (pattern.Matches(e->Name())) append(e->Name(), directory);
    const TFileEntry* next = e->Next();
    if (next == nullptr) return;
    e = next;
    from = e->Name();
  }
}

// The most room rows may keep for a result of this many rows: the room of
// an earlier result is written again rather than fresh memory taken, as
// long as it is not much more than the result needs.
std::size_t KeptCapacity(std::size_t rows) noexcept {
  return 2 * rows + 4096;
}

// Runs search(first, end, rows) over stretches of the chain, on as many
// threads as the machine has cores (at most four), and joins their rows in
// chain order.
template <typename Search>
void SearchStretches(TDDList& list, std::vector<TRowList>& parts, TRowList& rows,
                     const Search& search) {
  const std::size_t threads =
      list.FileCount() + list.DirectoryCount() < kParallelFrom
          ? 1
          : std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
  if (threads == 1) {
    search(list.FirstDirectory(), nullptr, rows);
    return;
  }
  const std::vector<TDirectoryRecord*>& starts = list.Stretches(threads * kStretchesPerThread);
  parts.resize(starts.size());
  for (TRowList& part : parts) {
    part.Names.clear();
    part.Dirs.clear();
  }
  std::atomic<std::size_t> nextStretch{0};
  std::vector<std::exception_ptr> failures(threads);
  const auto work = [&](std::size_t worker) {
    try {
      for (std::size_t k; (k = nextStretch.fetch_add(1)) < starts.size();) {
        // Filled on this thread's own stack: neighbouring parts share cache
        // lines, and every row appended changes a part's end.
        TRowList part = std::move(parts[k]);
        search(starts[k], k + 1 < starts.size() ? starts[k + 1] : nullptr, part);
        parts[k] = std::move(part);
      }
    } catch (...) {
      failures[worker] = std::current_exception();
      nextStretch = starts.size();
    }
  };
  {
    std::vector<std::jthread> helpers;
    for (std::size_t t = 1; t < threads; ++t)
      helpers.emplace_back(work, t);
    work(0);
  }
  for (const std::exception_ptr& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
  std::size_t total = 0;
  for (const TRowList& part : parts)
    total += part.Names.size();
  if (rows.Names.capacity() > KeptCapacity(total)) rows = {};
  rows.Names.reserve(total);
  rows.Dirs.reserve(total);
  for (TRowList& part : parts) {
    rows.Names.insert(rows.Names.end(), part.Names.begin(), part.Names.end());
    rows.Dirs.insert(rows.Dirs.end(), part.Dirs.begin(), part.Dirs.end());
    if (part.Names.capacity() > KeptCapacity(part.Names.size())) part = {};
  }
}

}  // namespace

void TMemoryDB::Search(std::string_view pattern) {
  std::lock_guard guard(Lock);
  // The last result's room may take the new one.
  TRowList rows;
  rows.Names.swap(resultNames_);
  rows.Dirs.swap(resultDirs_);
  SearchRows(pattern, rows);
  resultNames_.swap(rows.Names);
  resultDirs_.swap(rows.Dirs);
}

void TMemoryDB::SearchRows(std::string_view pattern, TRowList& rows) {
  std::lock_guard guard(Lock);
  rows.Names.clear();
  rows.Dirs.clear();
  FindRows(pattern, rows);
  // A result that is much smaller than the room it was given gives the
  // rest back.
  if (rows.Names.capacity() > KeptCapacity(rows.Names.size())) {
    TRowList fitted;
    fitted.Names.assign(rows.Names.begin(), rows.Names.end());
    fitted.Dirs.assign(rows.Dirs.begin(), rows.Dirs.end());
    rows = std::move(fitted);
  }
}

void TMemoryDB::FindRows(std::string_view pattern, TRowList& rows) {
  if (pattern.empty()) return;
  if (pattern.front() == '.') {
    SearchDirectories(pattern.substr(1), rows);
  } else if (pattern.find('\\') != std::string_view::npos) {
    SearchSubtree(pattern, rows);
  } else {
    SearchFiles(pattern, rows);
  }
}

void TMemoryDB::SearchFiles(std::string_view pattern, TRowList& rows) {
  const std::string upper = platform::UpperCase(pattern);
  const TFilePattern filePattern{upper, RequiredLiteral(upper)};
  SearchStretches(*ddList_, searchParts_, rows,
                  [&](TDirectoryRecord* first, const TDirectoryRecord* end, TRowList& part) {
                    const auto append = [&](const char* name, TDirectoryRecord* directory) {
                      AppendRow(part, name, directory);
                    };
                    for (TDirectoryRecord* d = first; d != nullptr && d != end; d = d->Next())
                      SearchDirectoryFiles(d, filePattern, append);
                  });
}

void TMemoryDB::SearchDirectories(std::string_view rest, TRowList& rows) {
  const std::string upper = platform::UpperCase(rest);
  SearchStretches(
      *ddList_, searchParts_, rows,
      [&](TDirectoryRecord* first, const TDirectoryRecord* end, TRowList& part) {
        for (TDirectoryRecord* d = first; d != nullptr && d != end; d = d->Next()) {
          if (MatchWildcard(d->NameAddress(), upper.data(), d->Name().size(), upper.size())) {
            AppendRow(part, d->NameAddress(), d->Parent());
          }
        }
      });
}

void TMemoryDB::SearchSubtree(std::string_view pattern, TRowList& rows) {
  std::string namePattern;
  std::vector<TDirectoryRecord*> all = ResolveAllDirectories(pattern, namePattern);
  if (all.empty()) return;

  // Breadth first: the start directories, then their subdirectories, then
  // theirs, level by level; within a level in chain order, whichever parent
  // a directory has.
  auto byChainOrder = [](const TDirectoryRecord* a, const TDirectoryRecord* b) {
    return TDDList::ChainOrder(a) < TDDList::ChainOrder(b);
  };
  std::size_t levelBegin = 0;
  while (levelBegin < all.size()) {
    const std::size_t levelEnd = all.size();
    for (std::size_t i = levelBegin; i < levelEnd; ++i)
      ddList_->AppendSubdirectories(all[i], all);
    std::sort(all.begin() + static_cast<std::ptrdiff_t>(levelEnd), all.end(), byChainOrder);
    levelBegin = levelEnd;
  }

  const TFilePattern filePattern{namePattern, RequiredLiteral(namePattern)};
  const auto append = [&](const char* name, TDirectoryRecord* directory) {
    AppendRow(rows, name, directory);
  };
  for (TDirectoryRecord* d : all)
    SearchDirectoryFiles(d, filePattern, append);
}

}  // namespace varnoke
