// TMemoryDB: the filename database. It owns the tree of every directory and
// file of the fixed drives, the result rows of the last search, and the lock
// that guards both.
//
// The owner creates the single instance and frees it; there is no global one.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "db/database_services.h"
#include "db/ddlist.h"
#include "db/file_report.h"
#include "db/scan_observer.h"
#include "db/tree_change.h"
#include "db/tree_records.h"
#include "db/twin_memory.h"
#include "platform/large_memory.h"

namespace varnoke {

// What a blanked row reads as its name and as its full path.
inline constexpr std::string_view kFileDeleted = "File Deleted";

// A column of result rows; a search may find millions, which then live in
// huge pages.
template <typename T>
using TRowColumn = std::vector<T, platform::TLargeAllocator<T>>;

// Result rows of a caller's own, filled by SearchRows: names and their
// directories side by side, as the window's result list keeps them.
struct TRowList {
  TRowColumn<const char*> Names;
  TRowColumn<TDirectoryRecord*> Dirs;
};

// The two halves of a path as ResolvePath splits it.

struct TResolvedPath {
  std::string Name;                       // the final name, upper-cased
  TDirectoryRecord* Directory = nullptr;  // the directory that holds it, or null
};

class TPendingLoad;

class TMemoryDB {
 public:
  // The host services are borrowed and must outlive the database.
  explicit TMemoryDB(const TDatabaseServices& services);
  ~TMemoryDB();
  TMemoryDB(const TMemoryDB&) = delete;
  TMemoryDB& operator=(const TMemoryDB&) = delete;

  // The database's one lock; it guards the tree, the result lists and the
  // file name. Recursive by design: the drive scan holds it while it lets
  // pending window messages be processed, and a handler that runs then on
  // the same thread (a search, a row read) takes it again instead of
  // deadlocking. Take it with a guard (std::lock_guard, std::unique_lock).
  mutable std::recursive_mutex Lock;

  // ---- Tree store. Callers hold Lock. ----

  // The tree. Guarded by Lock. Replaced whole by a scan or a load: never
  // keep a reference to it, or to its records, across one.
  TDDList& DDList() noexcept { return *ddList_; }
  const TDDList& DDList() const noexcept { return *ddList_; }

  // The database file's path. Guarded by Lock.
  const std::string& FileName() const noexcept { return fileName_; }

  // The directory's full path, ending with "\" ("C:\DIR\SUB\"); empty for
  // null.
  std::string DirectoryPath(const TDirectoryRecord* directory) const;

  // True when the drive of the path (the text up to and including its first
  // "\") is a fixed drive. Does not touch the tree; needs no lock.
  bool IsFixedDrivePath(std::string_view path) const;

  // Splits the path at its last "\" into the upper-cased final name and the
  // record of the directory that the components before it name, looked up
  // one by one from the drive roots; the directory is null when a component
  // is not in the tree or the path has no "\".
  TResolvedPath ResolvePath(std::string_view path);

  // As ResolvePath, but with every directory record that the components
  // before the last "\" name, in chain order: names that differ only in
  // case on the disk are one name in the tree, and a path names all of
  // them. The final name, upper-cased, goes to name. Empty when a component
  // is not in the tree or the path has no "\".
  std::vector<TDirectoryRecord*> ResolveAllDirectories(std::string_view path, std::string& name);

  // The first record in chain order with exactly this name and parent.
  TDirectoryRecord* FindDirectory(std::string_view name, const TDirectoryRecord* parent);

  // ---- Drive scan. ----

  // Rebuilds the tree from every fixed drive A to Z and returns true; the
  // results of the last search are gone. Holds Lock from the reset of the
  // tree to the end of the last drive, across the messages that observer
  // processes. Raises ETerminate, with Lock released and nothing saved,
  // when ScanCancelRequested is set during the scan.
  // Ends by saving the new tree (SaveToFile); a failed save leaves the new
  // tree in memory and the scan still succeeds. A scan that could list no
  // fixed drive's root saves nothing, and its tree is never saved: it would
  // replace a good database by an empty one. SavedByLastScan tells which.
  // False, with nothing done, when called while a scan walks the drives (from
  // a handler the observer runs): the running walk keeps its tree.
  bool ScanDrives(const std::string& fileName, TScanObserver& observer);

  // Adds the contents of the directory at path (drive form, as the disk
  // spells it, ending with "\") and everything below it under directory.
  // Called by ScanDrives with Lock held. False when the directory itself
  // cannot be listed.
  bool ScanDirectory(const std::string& path, TDirectoryRecord* directory, TScanObserver& observer);

  // Set from any thread to abandon a running scan at its next directory
  // entry; cleared by the callers before each scan.
  std::atomic<bool> ScanCancelRequested{false};

  // The progress of the last scan, in kilobytes: 1.0 plus the kilobytes in
  // use on all fixed drives, and the kilobytes counted so far. Written by
  // the scan on the thread that runs it, read there too.
  float ScanTotalKB = 1.0f;
  float ScanDoneKB = 0.0f;
  // Cluster size of the drive being scanned; kept from one scan to the next.
  std::int32_t ScanClusterBytes = 0;

  // True when the last scan ended with its tree saved; LastFileReport says
  // why not otherwise. Takes Lock.
  bool SavedByLastScan() const;

  // ---- Database file. ----

  // Writes the tree to FileName and stores its CRC-32 as the setting
  // "CRC32". Holds Lock throughout. The new file replaces the old one
  // atomically, after its CRC is stored: at any moment of a crash the file
  // on disk either loads as the old tree, loads as the new one, or fails its
  // CRC check. False, with the old file in place, on any failure, and when
  // the file exists but may not be written.
  bool SaveToFile();

  // Stores fileName in FileName, then replaces the tree by the file's
  // contents and returns true, or returns false with the tree unchanged when
  // the file cannot be read, is empty, does not match the setting "CRC32" or
  // does not hold a well-formed tree. ERegistry from reading "CRC32" is not
  // caught. The result rows, which would point into the old tree, are
  // emptied by a successful load. The file and "CRC32" are read under the
  // lock a save of the file holds, so a concurrent save in another process
  // gives either the old tree or the new one. Never reads much more of a
  // file than the counts at its start can need. Refused (Busy) while a scan
  // walks the drives, whose tree it would free.
  //
  // With pending (a TPendingLoad of the same file, started earlier) its
  // result is put in place instead of reading the file now.
  bool LoadFromFile(const std::string& fileName, TPendingLoad* pending = nullptr);

  // How the last SaveToFile or LoadFromFile ended, and why. Takes Lock.
  TFileReport LastFileReport() const;

  // ---- Change reports. Each tests its paths with IsFixedDrivePath, then
  // takes Lock for the whole change; none reports an error. Paths are in
  // drive form, spelled as the disk spells them (the drive letter in any
  // case); a component spelled otherwise stands for the first match.
  //
  // Names that differ only in case ("twins") are one name in the tree. A
  // report acts on the entries of its name without looking at the disk as
  // long as the name has none or one; where it has twins, or a creation
  // finds it present, the directory is listed and the tree keeps as many
  // entries (files) or records (directories) of the name as the disk holds
  // variants of that kind. A path component with twin records stands for
  // the k-th of them where the disk lists its spelling as the k-th (as
  // TTwinOrdinals has it). ----

  // A file was created: its entry is added unless the directory holds the
  // name; then entries are added up to the disk's count of the name.
  void ApplyFileCreate(std::string_view path);
  // A file was deleted; the final name may be a pattern with * and ?, and
  // then the directory is listed once and, of the matching entries of each
  // name, as many stay as the disk holds files of it. A plain name goes
  // whether or not the file is still there, unless it has twins.
  void ApplyDelete(std::string_view path);
  // A directory was created below a directory the tree holds; where the
  // name is present already, records are added up to the disk's count.
  void ApplyDirectoryCreate(std::string_view path);
  // A directory was removed: its record goes with everything below it, and
  // every row that shows any of them is blanked first. Of twin records,
  // those whose directories are gone go. A final name with * or ? removes
  // the matching subdirectories that are gone from the disk.
  void ApplyDirectoryRemove(std::string_view path);
  // A file or directory (attribute bit 0x10) was renamed or moved.
  void ApplyRename(std::string_view oldPath, std::string_view newPath, std::uint32_t attributes);
  // The two halves of ApplyRename; Lock held by the caller.
  void ApplyFileRename(std::string_view oldPath, std::string_view newPath);
  void ApplyDirectoryRename(std::string_view oldPath, std::string_view newPath);

  // ---- Comparing with listings of the disk (listing_changes.cpp). Each
  // takes Lock; what it set right goes to found. The drive is not tested:
  // the device lists the fixed drives only, and EndListings removes a drive
  // that no longer is one. ----

  // The directory (drive form, ending with "\") holds exactly the entries
  // (names; a directory's ends with "\") at this place among the reports:
  // its files become as many of each name as the listing holds, and the
  // subdirectories the tree lacks are added. The directory itself, and its
  // parents, are added when the tree lacks them. Until ApplyUnchanged or
  // EndListings, reports about its names compare with the disk: the
  // listing may have seen changes whose reports follow.
  void ApplyListing(std::string_view directory, const std::vector<std::string_view>& entries,
                    std::vector<TTreeChange>& found);
  // Nothing has changed the subdirectories of the directories (as their
  // listings spelt them) since ApplyListing: those the tree held and their
  // listings had not are removed.
  void ApplyUnchanged(const std::vector<std::string_view>& directories,
                      std::vector<TTreeChange>& found);
  // Every directory has been listed. With found, drives that are no fixed
  // drive any more leave the tree, as they would a scan's.
  void EndListings(std::vector<TTreeChange>* found);

  // ---- Search. Takes Lock. ----

  // Replaces the result rows by those of the pattern, exactly as typed: a
  // leading "." searches directory names, a "\" anywhere searches the files
  // below a directory, anything else searches every file name.
  void Search(std::string_view pattern);

  // The same search into rows of the caller's own, which may hold the rows
  // of an earlier search: their room is used again, if not much larger than
  // needed. The window's result list is left as it is. Caller holds Lock
  // for as long as it reads the rows: they point into the tree.
  void SearchRows(std::string_view pattern, TRowList& rows);
  // A row's full path as ResultFullPath reads it. Caller holds Lock.
  std::string RowFullPath(const char* name, const TDirectoryRecord* directory) const;
  // The window's orderings, for rows of the caller's own. Caller holds Lock.
  static void SortRowsByName(TRowList& rows);
  static void SortRowsByPath(TRowList& rows);

  // ---- Result list. ----

  // Number of rows, blanked rows included. Takes no lock: only the
  // user-interface thread changes the number of rows.
  int ResultCount() const noexcept { return static_cast<int>(resultNames_.size()); }

  // Row readers; each takes Lock. An empty list, and an index outside the
  // list, read as the empty text.
  std::string ResultName(int index) const;
  std::string ResultFullPath(int index) const;
  std::string ResultDirectory(int index) const;

  // Row maintenance for change reports; callers hold Lock.
  // The first row showing the entry, or -1.
  int FindFileResult(const TFileEntry* entry) const noexcept;
  // Points row index at another name and directory; ignored outside the list.
  void SetResult(int index, const char* name, TDirectoryRecord* directory) noexcept;
  // Blanks the first row that shows the entry.
  void BlankFileResult(const TFileEntry* entry) noexcept;
  // Blanks every row whose directory is the record.
  void BlankDirectoryResults(const TDirectoryRecord* directory) noexcept;

  // Orderings; each takes Lock. Ascending, not stable.
  void SortByName();
  void SortByPath();

  // The rows, for readers that walk them. Guarded by Lock.
  const TRowColumn<const char*>& ResultNames() const noexcept { return resultNames_; }
  const TRowColumn<TDirectoryRecord*>& ResultDirs() const noexcept { return resultDirs_; }

 private:
  // SearchRows without its lock and its clearing: appends the rows.
  void FindRows(std::string_view pattern, TRowList& rows);
  void SearchFiles(std::string_view pattern, TRowList& rows);
  void SearchSubtree(std::string_view pattern, TRowList& rows);
  void SearchDirectories(std::string_view rest, TRowList& rows);
  static void AppendRow(TRowList& rows, const char* name, TDirectoryRecord* directory);
  void ClearResults() noexcept;
  bool ValidRow(int index) const noexcept { return index >= 0 && index < ResultCount(); }

  // A change report's path: the tree's record of its directory and its
  // final name, and both halves as the report spells them.
  struct TReportPath {
    std::string Name;                       // the final name, upper-cased
    TDirectoryRecord* Directory = nullptr;  // the record of its directory, or null
    std::string HostDirectory;              // up to and including the last "\"
    std::string HostName;                   // the final name as reported
  };

  void ResetTree();
  void RemoveDirectoryAndRows(TDirectoryRecord* directory);
  void DeleteWithPattern(const TReportPath& report);
  void RemoveDirectoriesWithPattern(const TReportPath& report);

  // Twins (twin_changes.cpp); callers hold Lock.
  // As ResolvePath, but a component with twin records resolves to the one
  // whose place among them is its spelling's among the disk's listing.
  TReportPath ResolveReport(std::string_view path);
  TDirectoryRecord* ResolveComponent(TDirectoryRecord* parent, std::string_view upperName,
                                     std::string_view spelling, std::string_view hostParent,
                                     std::vector<TDirectoryRecord*>& records);
  // A creation met its name: entries or records are added up to the
  // disk's count of the name, never removed.
  void AddTwinFiles(const TReportPath& report);
  void AddTwinDirectories(const TReportPath& report);
  // The entries or records of the name become as many as the disk holds
  // (none when the directory cannot be listed); keep, an entry a rename has
  // just made, stays in any case. Removed records are those GoneTwins picks.
  void SettleFiles(const TReportPath& report, const TFileEntry* keep);
  void SettleDirectories(const TReportPath& report);
  void AddDirectories(TDirectoryRecord* parent, const std::string& name, std::size_t count);
  // Moves record among its twins in the chain to where the census lists
  // its spelling.
  void PlaceTwin(TDirectoryRecord* record, std::string_view spelling, const TDiskCensus& census);
  // Which gone of the twin records (chain order) no longer stand for a
  // directory: the empty ones if exactly that many are empty, else those
  // least like the directories still on the disk (onDisk, their spellings
  // in hostParent), which are listed for it.
  std::vector<TDirectoryRecord*> GoneTwins(const std::vector<TDirectoryRecord*>& records,
                                           const std::vector<std::string_view>& onDisk,
                                           std::string_view hostParent, std::size_t gone);
  // Of the twin records of a renamed directory's old name, the one most
  // like the directory now at the new path.
  TDirectoryRecord* MovedTwin(const std::vector<TDirectoryRecord*>& records, const TReportPath& to);
  // Before moved takes the new name: removes the records of that name the
  // rename replaced, as the disk's count says. False, with nothing done,
  // when moved lies below one of them. placeAmongTwins tells whether moved
  // will have twins there.
  bool ReplaceTwins(const TReportPath& to, TDirectoryRecord* moved, bool& placeAmongTwins);
  void BlankSubtreeResults(const std::vector<TDirectoryRecord*>& subtree) noexcept;
  // The record of a listed directory; made, with its parents, when the
  // tree lacks it.
  TDirectoryRecord* ListedDirectory(std::string_view directory, std::vector<TTreeChange>& found);
  void FollowDirectoryRename(const char* oldName, const TDirectoryRecord* directory) noexcept;

  // The file system as the change reports see it: each listing runs with
  // the lock released, so that no search or row read waits for the disk.
  // Throws TTreeReplaced when a scan or a load replaced the tree meanwhile;
  // ApplyReport ends the report then.
  class TUnlockedFiles : public platform::TFileSystem {
   public:
    explicit TUnlockedFiles(TMemoryDB& db);
    bool ListDirectory(std::string_view path, bool withSizes,
                       platform::TDirectoryListing& listing) override;
    bool ListDirectoryAfresh(std::string_view path, platform::TDirectoryListing& listing) override;
    bool FileExists(std::string_view path) const override;

   private:
    template <typename Work>
    auto Unlocked(const Work& work) const;
    TMemoryDB& db_;
  };
  struct TTreeReplaced {};
  template <typename Change>
  void ApplyReport(const Change& change);
  // Applies a report about one path of a fixed drive, under the lock:
  // change gets the path resolved in the tree. Reports about other drives
  // are passed over.
  template <typename Change>
  void ApplyReportOn(std::string_view path, const Change& change);

  const platform::TDrives& drives_;
  platform::TFileSystem& files_;
  TUnlockedFiles reportFiles_{*this};
  // Counts the trees put in place by scans and loads. Guarded by Lock.
  std::uint64_t treeGeneration_ = 0;
  platform::TDataFiles& dataFiles_;
  settings::TSettingsStore& settings_;
  // The estimated size given to every entry of the drive being scanned, or
  // -1 while sizes are read from the disk.
  std::int64_t scanEntrySize_ = -1;
  std::unique_ptr<TDDList> ddList_;           // Guarded by Lock.
  TTwinMemory twins_;                         // Guarded by Lock.
  TRowColumn<const char*> resultNames_;       // Guarded by Lock.
  TRowColumn<TDirectoryRecord*> resultDirs_;  // Guarded by Lock.
  // The rows of each stretch of a search on several threads before they
  // are joined; kept from one search to the next, so that a search of
  // millions of rows writes them into memory it has written before.
  // Guarded by Lock.
  std::vector<TRowList> searchParts_;
  std::string fileName_;    // Guarded by Lock.
  TFileReport fileReport_;  // Guarded by Lock.
  // Set while the tree is that of a scan that found no drive. Guarded by Lock.
  bool treeFromEmptyScan_ = false;
  bool savedByLastScan_ = false;  // Guarded by Lock.
  // Set while ScanDrives walks the drives. Guarded by Lock, which the walk
  // holds throughout.
  bool scanning_ = false;
};

}  // namespace varnoke
