// Bringing the tree up to date from the change reports of the drives.
#include <unordered_set>

#include "db/memory_db.h"
#include "db/wildcard.h"

namespace varnoke {
namespace {

constexpr std::uint32_t kDirectoryAttribute = 0x10;

bool IsWildcard(std::string_view pattern) {
  return pattern.find_first_of("*?") != std::string_view::npos;
}

}  // namespace

void TMemoryDB::BlankSubtreeResults(const std::vector<TDirectoryRecord*>& subtree) noexcept {
  // One pass over the rows for the whole subtree: a row goes blank when its
  // directory is one of the records, or when it shows one of them by name
  // (a row of a directory-name search).
  try {
    std::unordered_set<const void*> doomed;
    for (const TDirectoryRecord* record : subtree) {
      doomed.insert(record);
      doomed.insert(record->NameAddress());
    }
    for (std::size_t i = 0; i < resultNames_.size(); ++i) {
      if (doomed.count(resultDirs_[i]) != 0 || doomed.count(resultNames_[i]) != 0) {
        resultNames_[i] = nullptr;
        resultDirs_[i] = nullptr;
      }
    }
  } catch (...) {
    // Out of memory for the set: the same, record by record.
    for (const TDirectoryRecord* record : subtree) {
      BlankDirectoryResults(record);
      for (std::size_t i = 0; i < resultNames_.size(); ++i) {
        if (resultNames_[i] == record->NameAddress()) {
          resultNames_[i] = nullptr;
          resultDirs_[i] = nullptr;
        }
      }
    }
  }
}

void TMemoryDB::RemoveDirectoryAndRows(TDirectoryRecord* directory) {
  std::vector<TDirectoryRecord*> subtree;
  ddList_->CollectSubtree(directory, subtree);
  BlankSubtreeResults(subtree);
  ddList_->RemoveDirectoryRecord(directory);
}

void TMemoryDB::FollowDirectoryRename(const char* oldName,
                                      const TDirectoryRecord* directory) noexcept {
  // Rows of a directory-name search hold the name's address, which moved
  // with the rename, and the parent, which may have changed too.
  for (std::size_t i = 0; i < resultNames_.size(); ++i) {
    if (resultNames_[i] == oldName) {
      resultNames_[i] = directory->NameAddress();
      resultDirs_[i] = directory->Parent();
    }
  }
}

void TMemoryDB::ApplyFileCreate(std::string_view path) {
  if (!IsFixedDrivePath(path)) return;
  std::lock_guard guard(Lock);
  const TResolvedPath resolved = ResolvePath(path);
  if (resolved.Directory == nullptr || resolved.Name.empty()) return;
  if (ddList_->FindFile(resolved.Directory, resolved.Name) != nullptr) return;
  ddList_->AddFile(resolved.Name, resolved.Directory);
}

void TMemoryDB::ApplyDelete(std::string_view path) {
  if (!IsFixedDrivePath(path)) return;
  std::lock_guard guard(Lock);
  const TResolvedPath resolved = ResolvePath(path);
  TDirectoryRecord* directory = resolved.Directory;
  if (directory == nullptr) return;
  const std::string& pattern = resolved.Name;
  if (!IsWildcard(pattern)) {
    // A plain name matches only itself: every entry of it goes, whether or
    // not the file is still there.
    for (TFileEntry* e : ddList_->FilesNamed(directory, pattern)) {
      BlankFileResult(e);
      ddList_->RemoveFileEntry(e, directory);
    }
    return;
  }
  const std::string directoryPath = DirectoryPath(directory);
  TFileEntry* previous = nullptr;
  for (TFileEntry* e = directory->Files(); e != nullptr;) {
    if (!MatchWildcardTerminated(e->Name(), pattern.data(), pattern.size()) ||
        files_.FileExists(directoryPath + e->Name())) {
      previous = e;
      e = e->Next();
      continue;
    }
    BlankFileResult(e);
    e = ddList_->RemoveFileEntry(e, directory, previous);
  }
}

void TMemoryDB::ApplyDirectoryCreate(std::string_view path) {
  if (!IsFixedDrivePath(path)) return;
  std::lock_guard guard(Lock);
  const TResolvedPath resolved = ResolvePath(path);
  // A directory whose parent the tree does not hold is left out: filed
  // without a parent it would pose as a drive root.
  if (resolved.Directory == nullptr || resolved.Name.empty()) return;
  if (ddList_->FindDirectory(resolved.Name, resolved.Directory) == nullptr) {
    ddList_->AddDirectory(resolved.Name, resolved.Directory);
  }
}

void TMemoryDB::ApplyDirectoryRemove(std::string_view path) {
  if (!IsFixedDrivePath(path)) return;
  std::lock_guard guard(Lock);
  const TResolvedPath resolved = ResolvePath(path);
  // Without a parent the lookup would find drive roots by name: a report
  // never removes a drive.
  if (resolved.Directory == nullptr) return;
  if (IsWildcard(resolved.Name)) {
    // As with files: of the matching subdirectories, those gone from the
    // disk go. A device uses it to bring a directory up to date after it
    // lost track of what happened below it.
    std::vector<TDirectoryRecord*> children;
    ddList_->AppendSubdirectories(resolved.Directory, children);
    const std::string parentPath = DirectoryPath(resolved.Directory);
    for (TDirectoryRecord* child : children) {
      if (MatchWildcard(child->NameAddress(), resolved.Name.data(), child->Name().size(),
                        resolved.Name.size()) &&
          !files_.FileExists(parentPath + std::string(child->Name()))) {
        RemoveDirectoryAndRows(child);
      }
    }
    return;
  }
  if (TDirectoryRecord* d = ddList_->FindDirectory(resolved.Name, resolved.Directory)) {
    RemoveDirectoryAndRows(d);
  }
}

void TMemoryDB::ApplyRename(std::string_view oldPath, std::string_view newPath,
                            std::uint32_t attributes) {
  if (!IsFixedDrivePath(oldPath) || !IsFixedDrivePath(newPath)) return;
  std::lock_guard guard(Lock);
  if ((attributes & kDirectoryAttribute) != 0) {
    ApplyDirectoryRename(oldPath, newPath);
  } else {
    ApplyFileRename(oldPath, newPath);
  }
}

void TMemoryDB::ApplyFileRename(std::string_view oldPath, std::string_view newPath) {
  const TResolvedPath from = ResolvePath(oldPath);
  const TResolvedPath to = ResolvePath(newPath);
  if (from.Directory == nullptr) return;
  TFileEntry* entry = ddList_->FindFile(from.Directory, from.Name);
  if (entry == nullptr) return;
  if (to.Directory == nullptr || to.Name.empty()) {
    // Nowhere to put the new name: the file has left what the tree holds.
    BlankFileResult(entry);
    ddList_->RemoveFileEntry(entry, from.Directory);
    return;
  }
  const int row = FindFileResult(entry);
  // An entry of the new name is replaced, not duplicated. The new entry is
  // made before the old one goes, so that running out of memory leaves the
  // old entry and its row as they were.
  TFileEntry* replaced = ddList_->FindFile(to.Directory, to.Name);
  if (replaced != nullptr && replaced != entry) {
    BlankFileResult(replaced);
    ddList_->RemoveFileEntry(replaced, to.Directory);
  }
  TFileEntry* renamed = ddList_->AddFile(to.Name, to.Directory);
  ddList_->RemoveFileEntry(entry, from.Directory);
  if (row >= 0) SetResult(row, renamed->Name(), to.Directory);
}

void TMemoryDB::ApplyDirectoryRename(std::string_view oldPath, std::string_view newPath) {
  const TResolvedPath from = ResolvePath(oldPath);
  const TResolvedPath to = ResolvePath(newPath);
  if (from.Directory == nullptr) return;  // drive roots are never renamed
  TDirectoryRecord* d = ddList_->FindDirectory(from.Name, from.Directory);
  if (d == nullptr) return;
  if (to.Directory == nullptr || to.Name.empty()) {
    // Moved where the tree does not reach: gone, as far as it can tell.
    RemoveDirectoryAndRows(d);
    return;
  }
  TDirectoryRecord* t = ddList_->FindDirectory(to.Name, to.Directory);
  if (t == d) return;
  // A move into its own subtree cannot happen on a disk; in a tree that is
  // out of date it is left alone rather than made into a loop.
  for (const TDirectoryRecord* p = to.Directory; p != nullptr; p = p->Parent()) {
    if (p == d) return;
  }
  if (t != nullptr) {
    for (const TDirectoryRecord* p = d; p != nullptr; p = p->Parent()) {
      if (p == t) return;  // d lies below the directory it would replace
    }
    RemoveDirectoryAndRows(t);
  }
  const char* oldName = d->NameAddress();
  if (ddList_->MoveDirectory(d, to.Name, to.Directory)) FollowDirectoryRename(oldName, d);
}

}  // namespace varnoke
