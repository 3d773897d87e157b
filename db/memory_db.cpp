#include "db/memory_db.h"

#include <algorithm>

#include "platform/upcase.h"

namespace varnoke {

TMemoryDB::TMemoryDB(const TDatabaseServices& services)
    : drives_(services.Drives),
      files_(services.Files),
      dataFiles_(services.DataFiles),
      settings_(services.Settings),
      ddList_(std::make_unique<TDDList>()) {}

TMemoryDB::~TMemoryDB() {
  std::lock_guard guard(Lock);
  ddList_.reset();
  ClearResults();
}

std::string TMemoryDB::DirectoryPath(const TDirectoryRecord* directory) const {
  // Measure first, then fill from the end: one allocation, and linear in the
  // depth however deep the chain is.
  std::size_t length = 0;
  for (const TDirectoryRecord* r = directory; r != nullptr; r = r->Parent()) {
    length += r->Name().size() + 1;
  }
  std::string path(length, '\\');
  std::size_t end = length;
  for (const TDirectoryRecord* r = directory; r != nullptr; r = r->Parent()) {
    end -= 1;  // the "\" behind this name
    end -= r->Name().size();
    r->Name().copy(path.data() + end, r->Name().size());
  }
  return path;
}

bool TMemoryDB::IsFixedDrivePath(std::string_view path) const {
  const std::size_t slash = path.find('\\');
  if (slash == std::string_view::npos) return false;
  return drives_.GetDriveType(path.substr(0, slash + 1)) == platform::TDriveType::Fixed;
}

TResolvedPath TMemoryDB::ResolvePath(std::string_view path) {
  TResolvedPath result;
  const std::string upper = platform::UpperCase(path);
  const std::string_view text = upper;
  const std::size_t last = text.rfind('\\');
  if (last == std::string_view::npos) {
    result.Name = upper;
    return result;
  }
  result.Name = std::string(text.substr(last + 1));

  TDirectoryRecord* directory = nullptr;
  std::size_t begin = 0;
  while (begin <= last) {
    const std::size_t slash = text.find('\\', begin);
    directory = FindDirectory(text.substr(begin, slash - begin), directory);
    if (directory == nullptr) return result;
    begin = slash + 1;
  }
  result.Directory = directory;
  return result;
}

std::vector<TDirectoryRecord*> TMemoryDB::ResolveAllDirectories(std::string_view path,
                                                                std::string& name) {
  const std::string upper = platform::UpperCase(path);
  const std::string_view text = upper;
  const std::size_t last = text.rfind('\\');
  std::vector<TDirectoryRecord*> matched;
  if (last == std::string_view::npos) {
    name = upper;
    return matched;
  }
  name = std::string(text.substr(last + 1));

  // A disk that keeps case holds "D" and "d" side by side, and the tree
  // holds both as "D": every record the path names is followed, not only
  // the first. Drive roots are never doubled.
  std::size_t slash = text.find('\\');
  TDirectoryRecord* root = FindDirectory(text.substr(0, slash), nullptr);
  if (root == nullptr) return matched;
  matched.push_back(root);
  std::vector<TDirectoryRecord*> children;
  std::vector<TDirectoryRecord*> next;
  while (slash != last) {
    const std::size_t begin = slash + 1;
    slash = text.find('\\', begin);
    const std::string_view component = text.substr(begin, slash - begin);
    next.clear();
    for (TDirectoryRecord* directory : matched) {
      // One hashed lookup settles the usual case of no twin at all.
      TDirectoryRecord* first = FindDirectory(component, directory);
      if (first == nullptr) continue;
      children.clear();
      ddList_->AppendSubdirectories(directory, children);
      for (TDirectoryRecord* child : children) {
        if (child->Name() == component) next.push_back(child);
      }
    }
    if (next.empty()) return {};
    matched.swap(next);
  }
  std::sort(matched.begin(), matched.end(),
            [](const TDirectoryRecord* a, const TDirectoryRecord* b) {
              return TDDList::ChainOrder(a) < TDDList::ChainOrder(b);
            });
  return matched;
}

TDirectoryRecord* TMemoryDB::FindDirectory(std::string_view name, const TDirectoryRecord* parent) {
  return ddList_->FindDirectory(name, parent);
}

}  // namespace varnoke
