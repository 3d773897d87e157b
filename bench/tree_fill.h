// Fills a database with a generated tree, the way a scan would: each
// directory's record, then its files in one block, depth first.
#pragma once

#include <cstddef>
#include <vector>

#include "bench/bench_util.h"
#include "bench/tree_generator.h"
#include "db/memory_db.h"

namespace varnoke::bench {

struct TFillFigures {
  std::size_t NameBytes = 0;     // bytes of all file names
  std::size_t HeapForFiles = 0;  // memory taken by the file entries, slack included
};

inline TFillFigures FillGenerated(TMemoryDB& db, std::size_t directories, std::size_t files) {
  TTreeGenerator generator(1996);
  const std::vector<TGeneratedDirectory> tree = generator.Generate(directories, files);
  TFillFigures figures;
  std::lock_guard guard(db.Lock);
  TDDList& list = db.DDList();
  std::vector<TDirectoryRecord*> records(tree.size());
  std::vector<std::size_t> order;
  std::vector<std::size_t> stack{0};
  while (!stack.empty()) {
    const std::size_t i = stack.back();
    stack.pop_back();
    order.push_back(i);
    records[i] = list.AddDirectory(tree[i].Name, nullptr);
    for (auto it = tree[i].Children.rbegin(); it != tree[i].Children.rend(); ++it) {
      stack.push_back(*it);
    }
  }
  for (std::size_t i = 1; i < tree.size(); ++i)
    list.SetParent(records[i], records[tree[i].Parent]);
  const std::size_t before = list.BytesReserved();
  std::vector<std::string_view> names;
  for (const std::size_t i : order) {
    names.assign(tree[i].Files.begin(), tree[i].Files.end());
    for (const std::string_view name : names)
      figures.NameBytes += name.size();
    list.AddFiles(names, records[i]);  // as a scan or a load adds them
  }
  figures.HeapForFiles = list.BytesReserved() - before;
  return figures;
}

}  // namespace varnoke::bench
