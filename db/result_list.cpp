// The result rows: reading them out and keeping them sound while the tree
// changes.
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

}  // namespace varnoke
