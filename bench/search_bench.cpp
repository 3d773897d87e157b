// Search, sort and memory figures on an in-memory tree of 1,000,000 files in
// 100,000 directories.
#include <fnmatch.h>

#include <cstring>
#include <utility>
#include <vector>

#include "bench/bench_util.h"
#include "bench/null_services.h"
#include "bench/tree_fill.h"
#include "bench/tree_generator.h"
#include "db/memory_db.h"

namespace varnoke::bench {
namespace {

constexpr std::size_t kDirectories = 100'000;
constexpr std::size_t kFiles = 1'000'000;
constexpr int kRuns = 7;

int FnmatchLoop(TMemoryDB& db, const char* pattern) {
  std::lock_guard guard(db.Lock);
  int matches = 0;
  for (const TDirectoryRecord* d = db.DDList().FirstDirectory(); d != nullptr; d = d->Next()) {
    for (const TFileEntry* e = d->Files(); e != nullptr; e = e->Next()) {
      matches += fnmatch(pattern, e->Name(), 0) == 0;
    }
  }
  return matches;
}

int Main() {
  TNullServices services;
  TMemoryDB db(services.Services());
  const TFillFigures figures = FillGenerated(db, kDirectories, kFiles);
  const std::size_t nameBytes = figures.NameBytes;
  const std::size_t heapForFiles = figures.HeapForFiles;
  const double files = static_cast<double>(db.DDList().FileCount());
  Report("tree_files", files);
  Report("tree_directories", static_cast<double>(db.DDList().DirectoryCount()));
  Report("avg_name_bytes", static_cast<double>(nameBytes) / files);
  Report("bytes_per_file", static_cast<double>(heapForFiles) / files);
  Report("bytes_per_file_over_name", static_cast<double>(heapForFiles - nameBytes) / files);
  Report("tree_heap_bytes_per_file", static_cast<double>(db.DDList().BytesReserved()) / files);

  const double filesMs = BestMs(kRuns, [&] { db.Search("*.TXT"); });
  Report("search_files_rows", db.ResultCount());
  Report("search_files_ms", filesMs);

  // The bare walk over every name: the floor under any search.
  unsigned touched = 0;
  const double walkMs = BestMs(kRuns, [&] {
    std::lock_guard guard(db.Lock);
    for (const TDirectoryRecord* d = db.DDList().FirstDirectory(); d != nullptr; d = d->Next()) {
      for (const TFileEntry* e = d->Files(); e != nullptr; e = e->Next())
        touched += e->Name()[0];
    }
    KeepValue(touched);
  });
  Report("tree_walk_ms", walkMs);
  int fnmatchRows = 0;
  const double fnmatchMs = BestMs(kRuns, [&] { fnmatchRows = FnmatchLoop(db, "*.TXT"); });
  Report("fnmatch_loop_ms", fnmatchMs);
  Report("search_vs_fnmatch_ratio", filesMs / fnmatchMs);

  db.Search("C:\\D1\\*.INI");  // the first one builds the directory index
  const double subtreeMs = BestMs(kRuns, [&] { db.Search("C:\\D1\\*.INI"); });
  Report("search_subtree_rows", db.ResultCount());
  Report("search_subtree_ms", subtreeMs);

  const double dirsMs = BestMs(kRuns, [&] { db.Search(".SYS*"); });
  Report("search_dirs_rows", db.ResultCount());
  Report("search_dirs_ms", dirsMs);

  // About 100,000 rows: the TXT files are a tenth of all files.
  db.Search("*.TXT");
  const int rows = db.ResultCount();
  Report("sort_rows", rows);
  // The median of several sorts, each of a fresh search's rows.
  constexpr int kSorts = 9;
  std::vector<double> byPath;
  std::vector<double> byName;
  for (int run = 0; run < kSorts; ++run) {
    db.Search("*.TXT");
    byPath.push_back(BestMs(1, [&] { db.SortByPath(); }));
    db.Search("*.TXT");
    byName.push_back(BestMs(1, [&] { db.SortByName(); }));
  }
  const double sortByPathMs = MedianOf(byPath);
  const double sortByNameMs = MedianOf(byName);
  Report("sort_by_path_ms", sortByPathMs);
  Report("sort_by_name_ms", sortByNameMs);
  return fnmatchRows == rows ? 0 : 1;
}

}  // namespace
}  // namespace varnoke::bench

int main() {
  return varnoke::bench::Main();
}
