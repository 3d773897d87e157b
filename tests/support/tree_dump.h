// The tree as text, for comparing whole trees in tests: one line per
// directory record in chain order, its full path, then its files in chain
// order.
#pragma once

#include <string>
#include <vector>

#include "db/memory_db.h"

namespace varnoke::testing {

inline std::vector<std::string> DumpTree(TMemoryDB& db) {
  std::lock_guard guard(db.Lock);
  std::vector<std::string> lines;
  for (const TDirectoryRecord* d = db.DDList().FirstDirectory(); d != nullptr; d = d->Next()) {
    std::string line = db.DirectoryPath(d);
    for (const TFileEntry* e = d->Files(); e != nullptr; e = e->Next()) {
      line += ' ';
      line += e->Name();
    }
    lines.push_back(line);
  }
  return lines;
}

}  // namespace varnoke::testing
