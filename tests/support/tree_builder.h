// Helper verbs for tests that build a tree by hand and read result rows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "db/memory_db.h"

namespace varnoke::testing {

// Adds the directories of a drive-form path such as "C:\A\B" that are not
// there yet (names taken as given, so pass them upper-cased) and returns the
// last one. Caller holds the lock.
inline TDirectoryRecord* EnsureDirectory(TMemoryDB& db, std::string_view path) {
  TDirectoryRecord* directory = nullptr;
  std::size_t begin = 0;
  while (begin < path.size()) {
    std::size_t slash = path.find('\\', begin);
    if (slash == std::string_view::npos) slash = path.size();
    const std::string name(path.substr(begin, slash - begin));
    TDirectoryRecord* found = db.DDList().FindDirectory(name, directory);
    directory = found != nullptr ? found : db.DDList().AddDirectory(name, directory);
    begin = slash + 1;
  }
  return directory;
}

// Adds the file of a drive-form path ("C:\A\X.TXT"), its directories too.
inline TFileEntry* AddFilePath(TMemoryDB& db, std::string_view path) {
  const std::size_t slash = path.rfind('\\');
  TDirectoryRecord* directory = EnsureDirectory(db, path.substr(0, slash));
  return db.DDList().AddFile(path.substr(slash + 1), directory);
}

// Every row's full path, in row order.
inline std::vector<std::string> FullPaths(const TMemoryDB& db) {
  std::vector<std::string> rows;
  for (int i = 0; i < db.ResultCount(); ++i)
    rows.push_back(db.ResultFullPath(i));
  return rows;
}

// Every row's name, in row order.
inline std::vector<std::string> Names(const TMemoryDB& db) {
  std::vector<std::string> rows;
  for (int i = 0; i < db.ResultCount(); ++i)
    rows.push_back(db.ResultName(i));
  return rows;
}

}  // namespace varnoke::testing
