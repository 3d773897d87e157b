// The three searches over the tree and their dispatch.
#include <algorithm>

#include "db/memory_db.h"
#include "db/wildcard.h"
#include "platform/upcase.h"

namespace varnoke {

void TMemoryDB::Search(std::string_view pattern) {
  std::lock_guard guard(Lock);
  ClearResults();
  TRowList rows;
  SearchRows(pattern, rows);
  resultNames_.swap(rows.Names);
  resultDirs_.swap(rows.Dirs);
}

void TMemoryDB::SearchRows(std::string_view pattern, TRowList& rows) {
  std::lock_guard guard(Lock);
  rows = {};
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
  for (TDirectoryRecord* d = ddList_->FirstDirectory(); d != nullptr; d = d->Next()) {
    for (const TFileEntry* e = d->Files(); e != nullptr; e = e->Next()) {
      if (MatchWildcardTerminated(e->Name(), upper.data(), upper.size())) {
        AppendRow(rows, e->Name(), d);
      }
    }
  }
}

void TMemoryDB::SearchDirectories(std::string_view rest, TRowList& rows) {
  const std::string upper = platform::UpperCase(rest);
  for (TDirectoryRecord* d = ddList_->FirstDirectory(); d != nullptr; d = d->Next()) {
    if (MatchWildcard(d->NameAddress(), upper.data(), d->Name().size(), upper.size())) {
      AppendRow(rows, d->NameAddress(), d->Parent());
    }
  }
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

  for (TDirectoryRecord* d : all) {
    for (const TFileEntry* e = d->Files(); e != nullptr; e = e->Next()) {
      if (MatchWildcardTerminated(e->Name(), namePattern.data(), namePattern.size())) {
        AppendRow(rows, e->Name(), d);
      }
    }
  }
}

}  // namespace varnoke
