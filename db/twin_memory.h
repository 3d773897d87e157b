// What the change reports keep from one report to the next about names
// that differ only in case on the disk ("twins"): a few recent censuses of
// directories, so that a burst of reports into one directory lists it
// once, and the names whose count in the tree was last set from the disk.
//
// The device may be late: by the time a report is applied the disk can
// hold what later reports will describe. Once a count has been set from
// the disk, applying those later reports one by one would count their
// changes twice, so reports about such a name compare with the disk too.
//
// Directory records are only compared by address, never followed. The
// owner guards the object with TMemoryDB::Lock, forgets the records it
// frees and clears everything when the tree is replaced.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/disk_census.h"
#include "db/tree_records.h"
#include "platform/file_system.h"

namespace varnoke {

class TTwinMemory {
 public:
  // Starts a report: censuses taken from now on are fresh.
  void BeginReport() noexcept { ++report_; }

  // The census of directory as the disk holds it now, listed at
  // hostDirectory unless this report has listed it already. Null when the
  // directory cannot be listed. The census lives until the next call.
  const TDiskCensus* Fresh(platform::TFileSystem& files, const TDirectoryRecord* directory,
                           std::string_view hostDirectory);

  // The same, but a census taken by an earlier report serves as long as it
  // holds an entry of that kind spelled so: a directory the device walks
  // (creations of everything in it) is then listed once, not once a name.
  const TDiskCensus* Recent(platform::TFileSystem& files, const TDirectoryRecord* directory,
                            std::string_view hostDirectory, std::string_view spelling,
                            bool isDirectory);

  // A file rename has just given its entry the path newPath. The devices
  // follow a file rename with a creation report for its new path: that one
  // report, next, finds the name present and has nothing to compare.
  void Renamed(std::string_view newPath);
  bool JustRenamedTo(std::string_view path) const noexcept {
    return renamedIn_ + 1 == report_ && path == renamedTo_;
  }

  // True when reports about the upper-cased name in directory are to be
  // compared with the disk.
  bool Doubts(const TDirectoryRecord* directory, std::string_view name) const;
  // The name's count was set from the disk, which then held onDisk entries
  // of it; with none, later reports can be applied one by one again.
  void Counted(const TDirectoryRecord* directory, std::string_view name, std::uint32_t onDisk);
  // A creation found the name present: its count may lag behind the disk.
  void Doubt(const TDirectoryRecord* directory, std::string_view name);

  // A subdirectory name of which a listing had fewer than the tree, and
  // the listing's spellings of it.
  struct TShortName {
    std::string Name;
    std::vector<std::string> Spellings;
  };
  // A listing of the directory, spelt label, set its contents from the
  // disk as it was after reports still to come: until the device says
  // those have all come (Settle), every name of it is doubted. short: the
  // names of subdirectories the tree held more of.
  void Listed(TDirectoryRecord* directory, std::string_view label, std::vector<TShortName> short_);
  // The listed directory at label, which keeps its names no longer in
  // doubt, and the names it was short of; null when no directory is listed
  // at label.
  TDirectoryRecord* Settle(std::string_view label, std::vector<TShortName>& short_);
  void SettledAll() noexcept;

  // The records are about to be freed.
  void Forget(const std::vector<TDirectoryRecord*>& records);
  void Clear();

 private:
  struct TKept {
    const TDirectoryRecord* directory = nullptr;
    std::string hostDirectory;
    std::uint64_t report = 0;
    TDiskCensus census;
  };
  // Enough for a directory, its parent and a twin or two.
  static constexpr std::size_t kCensusesKept = 4;

  TKept* Find(const TDirectoryRecord* directory, std::string_view hostDirectory);
  const TDiskCensus* Take(platform::TFileSystem& files, const TDirectoryRecord* directory,
                          std::string_view hostDirectory);

  std::uint64_t report_ = 0;
  std::string renamedTo_;
  std::uint64_t renamedIn_ = 0;  // the report of the rename
  std::list<TKept> kept_;        // most recently used first
  std::unordered_map<const TDirectoryRecord*, std::vector<std::string>> doubted_;
  // The directories listed and not settled: by record, their labels; by
  // label, the records and the names they were short of.
  struct TListed {
    TDirectoryRecord* Directory = nullptr;
    std::vector<TShortName> Short;
  };
  std::unordered_map<const TDirectoryRecord*, std::string> listed_;
  std::unordered_map<std::string, TListed> listedByLabel_;
};

}  // namespace varnoke
