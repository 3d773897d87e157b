// Bringing the tree up to date from the change reports of the drives.
#include <algorithm>
#include <unordered_map>
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

TMemoryDB::TUnlockedFiles::TUnlockedFiles(TMemoryDB& db) : db_(db) {}

template <typename Work>
auto TMemoryDB::TUnlockedFiles::Unlocked(const Work& work) const {
  // A report holds the lock once; the listing runs without it. Only the
  // reports change the tree bit by bit, so it is as it was when the lock
  // comes back, unless a scan or a load replaced it whole meanwhile.
  const std::uint64_t generation = db_.treeGeneration_;
  db_.Lock.unlock();
  struct TRelock {
    std::recursive_mutex& lock;
    ~TRelock() { lock.lock(); }
  } relock{db_.Lock};
  auto result = work();
  return std::pair(result, generation);
}

bool TMemoryDB::TUnlockedFiles::ListDirectory(std::string_view path, bool withSizes,
                                              platform::TDirectoryListing& listing) {
  const auto [listed, generation] =
      Unlocked([&] { return db_.files_.ListDirectory(path, withSizes, listing); });
  if (generation != db_.treeGeneration_) throw TTreeReplaced();
  return listed;
}

bool TMemoryDB::TUnlockedFiles::ListDirectoryAfresh(std::string_view path,
                                                    platform::TDirectoryListing& listing) {
  const auto [listed, generation] =
      Unlocked([&] { return db_.files_.ListDirectoryAfresh(path, listing); });
  if (generation != db_.treeGeneration_) throw TTreeReplaced();
  return listed;
}

bool TMemoryDB::TUnlockedFiles::FileExists(std::string_view path) const {
  const auto [exists, generation] = Unlocked([&] { return db_.files_.FileExists(path); });
  if (generation != db_.treeGeneration_) throw TTreeReplaced();
  return exists;
}

template <typename Change>
void TMemoryDB::ApplyReport(const Change& change) {
  try {
    change();
  } catch (const TTreeReplaced&) {
    // A scan or a load put a new tree in place while the report listed a
    // directory: the new tree is as recent as the report.
  }
}

template <typename Change>
void TMemoryDB::ApplyReportOn(std::string_view path, const Change& change) {
  if (!IsFixedDrivePath(path)) return;
  std::lock_guard guard(Lock);
  ApplyReport([&] {
    twins_.BeginReport();
    change(ResolveReport(path));
  });
}

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
  twins_.Forget(subtree);
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
  ApplyReportOn(path, [&](const TReportPath& report) {
    if (report.Directory == nullptr || report.Name.empty()) return;
    if (ddList_->FindFile(report.Directory, report.Name) == nullptr) {
      ddList_->AddFile(report.Name, report.Directory);
    } else if (!twins_.JustRenamedTo(path)) {
      AddTwinFiles(report);
    }
  });
}

void TMemoryDB::ApplyDelete(std::string_view path) {
  ApplyReportOn(path, [&](const TReportPath& report) {
    if (report.Directory == nullptr) return;
    if (IsWildcard(report.Name)) {
      DeleteWithPattern(report);
      return;
    }
    const std::vector<TFileEntry*> named = ddList_->FilesNamed(report.Directory, report.Name);
    if (named.empty()) return;
    if (named.size() == 1 && !twins_.Doubts(report.Directory, report.Name)) {
      // The file goes whether or not it is still there: the report says so.
      BlankFileResult(named.front());
      ddList_->RemoveFileEntry(named.front(), report.Directory);
      return;
    }
    SettleFiles(report, nullptr);
  });
}

void TMemoryDB::DeleteWithPattern(const TReportPath& report) {
  // One listing for the whole directory, at the first match. Of the
  // matching entries of each name, as many stay as the disk holds files of
  // that name; a directory that cannot be listed holds none.
  TDirectoryRecord* directory = report.Directory;
  const std::string& pattern = report.Name;
  bool listed = false;
  const TDiskCensus* census = nullptr;
  std::unordered_map<std::string_view, std::uint32_t> kept;  // views into kept entries
  TFileEntry* previous = nullptr;
  for (TFileEntry* e = directory->Files(); e != nullptr;) {
    if (MatchWildcardTerminated(e->Name(), pattern.data(), pattern.size())) {
      if (!listed) {
        census = twins_.Fresh(reportFiles_, directory, report.HostDirectory);
        listed = true;
      }
      const std::string_view name = e->Name();
      const auto it = kept.find(name);
      const std::uint32_t keptSoFar = it == kept.end() ? 0 : it->second;
      if (census == nullptr || keptSoFar >= census->Count(name, false)) {
        BlankFileResult(e);
        e = ddList_->RemoveFileEntry(e, directory, previous);
        continue;
      }
      if (it == kept.end()) {
        kept.emplace(name, 1);
      } else {
        ++it->second;
      }
    }
    previous = e;
    e = e->Next();
  }
}

void TMemoryDB::ApplyDirectoryCreate(std::string_view path) {
  ApplyReportOn(path, [&](const TReportPath& report) {
    // A directory whose parent the tree does not hold is left out: filed
    // without a parent it would pose as a drive root.
    if (report.Directory == nullptr || report.Name.empty()) return;
    if (ddList_->FindDirectory(report.Name, report.Directory) == nullptr) {
      ddList_->AddDirectory(report.Name, report.Directory);
    } else {
      AddTwinDirectories(report);
    }
  });
}

void TMemoryDB::ApplyDirectoryRemove(std::string_view path) {
  ApplyReportOn(path, [&](const TReportPath& report) {
    // Without a parent the lookup would find drive roots by name: a report
    // never removes a drive.
    if (report.Directory == nullptr) return;
    if (IsWildcard(report.Name)) {
      RemoveDirectoriesWithPattern(report);
      return;
    }
    std::vector<TDirectoryRecord*> named;
    ddList_->DirectoriesNamed(report.Name, report.Directory, named);
    if (named.empty()) return;
    if (named.size() == 1 && !twins_.Doubts(report.Directory, report.Name)) {
      RemoveDirectoryAndRows(named.front());
      return;
    }
    SettleDirectories(report);
  });
}

void TMemoryDB::RemoveDirectoriesWithPattern(const TReportPath& report) {
  // As with files: of the matching subdirectories, those gone from the
  // disk go. A device uses it to bring a directory up to date after it
  // lost track of what happened below it.
  std::vector<TDirectoryRecord*> matching;
  ddList_->AppendSubdirectories(report.Directory, matching);
  std::erase_if(matching, [&](const TDirectoryRecord* child) {
    return !MatchWildcard(child->NameAddress(), report.Name.data(), child->Name().size(),
                          report.Name.size());
  });
  if (matching.empty()) return;
  std::sort(matching.begin(), matching.end(),
            [](const TDirectoryRecord* a, const TDirectoryRecord* b) {
              if (a->Name() != b->Name()) return a->Name() < b->Name();
              return TDDList::ChainOrder(a) < TDDList::ChainOrder(b);
            });
  const TDiskCensus* census = twins_.Fresh(reportFiles_, report.Directory, report.HostDirectory);
  std::vector<TDirectoryRecord*> gone;
  std::vector<TDirectoryRecord*> twins;
  for (std::size_t i = 0; i < matching.size();) {
    twins.clear();
    for (const std::string_view name = matching[i]->Name();
         i < matching.size() && matching[i]->Name() == name; ++i)
      twins.push_back(matching[i]);
    std::vector<std::string_view> onDisk;
    if (census != nullptr) onDisk = census->Spellings(twins.front()->Name(), true);
    if (twins.size() <= onDisk.size()) continue;
    for (TDirectoryRecord* record :
         GoneTwins(twins, onDisk, report.HostDirectory, twins.size() - onDisk.size()))
      gone.push_back(record);
  }
  for (TDirectoryRecord* record : gone)
    RemoveDirectoryAndRows(record);
}

void TMemoryDB::ApplyRename(std::string_view oldPath, std::string_view newPath,
                            std::uint32_t attributes) {
  if (!IsFixedDrivePath(oldPath) || !IsFixedDrivePath(newPath)) return;
  std::lock_guard guard(Lock);
  ApplyReport([&] {
    if ((attributes & kDirectoryAttribute) != 0) {
      ApplyDirectoryRename(oldPath, newPath);
    } else {
      ApplyFileRename(oldPath, newPath);
    }
  });
}

void TMemoryDB::ApplyFileRename(std::string_view oldPath, std::string_view newPath) {
  twins_.BeginReport();
  const TReportPath from = ResolveReport(oldPath);
  const TReportPath to = ResolveReport(newPath);
  if (from.Directory == nullptr) return;
  const std::vector<TFileEntry*> named = ddList_->FilesNamed(from.Directory, from.Name);
  if (named.empty()) return;
  TFileEntry* entry = named.front();
  const bool oldTwins = named.size() > 1 || twins_.Doubts(from.Directory, from.Name);
  const bool sameName = from.Directory == to.Directory && from.Name == to.Name;
  if (to.Directory == nullptr || to.Name.empty()) {
    // Nowhere to put the new name: the file has left what the tree holds.
    BlankFileResult(entry);
    ddList_->RemoveFileEntry(entry, from.Directory);
    if (oldTwins) SettleFiles(from, nullptr);
    return;
  }
  const int row = FindFileResult(entry);
  // The new entry is made before the old one goes, so that running out of
  // memory leaves the old entry and its row as they were.
  TFileEntry* renamed = ddList_->AddFile(to.Name, to.Directory);
  ddList_->RemoveFileEntry(entry, from.Directory);
  if (row >= 0) SetResult(row, renamed->Name(), to.Directory);
  // Another entry of the new name is the file the rename replaced or a twin
  // of the renamed one; the disk's count tells which.
  if (ddList_->FilesNamed(to.Directory, to.Name).size() > 1 ||
      twins_.Doubts(to.Directory, to.Name)) {
    SettleFiles(to, renamed);
  }
  if (oldTwins && !sameName) SettleFiles(from, nullptr);
  twins_.Renamed(newPath);
}

void TMemoryDB::ApplyDirectoryRename(std::string_view oldPath, std::string_view newPath) {
  twins_.BeginReport();
  const TReportPath from = ResolveReport(oldPath);
  const TReportPath to = ResolveReport(newPath);
  if (from.Directory == nullptr) return;  // drive roots are never renamed
  std::vector<TDirectoryRecord*> named;
  ddList_->DirectoriesNamed(from.Name, from.Directory, named);
  if (named.empty()) return;
  const bool oldTwins = named.size() > 1 || twins_.Doubts(from.Directory, from.Name);
  if (to.Directory == nullptr || to.Name.empty()) {
    // Moved where the tree does not reach: gone, as far as it can tell.
    if (oldTwins) {
      SettleDirectories(from);
    } else {
      RemoveDirectoryAndRows(named.front());
    }
    return;
  }
  if (from.Directory == to.Directory && from.Name == to.Name) {
    // Only the case changed: the records stand, unless the rename replaced
    // a twin.
    if (oldTwins) SettleDirectories(to);
    return;
  }
  TDirectoryRecord* d = named.size() == 1 ? named.front() : MovedTwin(named, to);
  // A move into its own subtree cannot happen on a disk; in a tree that is
  // out of date it is left alone rather than made into a loop.
  for (const TDirectoryRecord* p = to.Directory; p != nullptr; p = p->Parent()) {
    if (p == d) return;
  }
  bool amongTwins = false;
  if (!ReplaceTwins(to, d, amongTwins)) return;
  const char* oldName = d->NameAddress();
  if (!ddList_->MoveDirectory(d, to.Name, to.Directory)) return;
  FollowDirectoryRename(oldName, d);
  if (amongTwins) {
    if (const TDiskCensus* census = twins_.Fresh(reportFiles_, to.Directory, to.HostDirectory))
      PlaceTwin(d, to.HostName, *census);
  }
  if (oldTwins) SettleDirectories(from);
}

}  // namespace varnoke
