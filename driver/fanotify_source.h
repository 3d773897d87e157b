// Change reports from fanotify: one mark on each file system of the fixed
// drives reports every creation, deletion and rename on it, naming
// directories by file handle.
//
// A handle names a directory where it is when the event is read, which may
// be later than where it was when the event happened. So the source keeps
// the path of every directory of the drives by handle, as the reports so
// far have placed it, and reads each event against that history.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>

#include "driver/change_source.h"
#include "driver/report_sink.h"
#include "platform/linux_drives.h"
#include "platform/linux_file_system.h"
#include "platform/mount_table.h"
#include "platform/unique_fd.h"

namespace varnoke::driver {

class TFanotifySource : public TChangeSource {
 public:
  TFanotifySource(TReportSink& sink, platform::TLinuxFileSystem& files,
                  const platform::TLinuxDrives& drives, platform::TMountTable& mounts)
      : sink_(sink), files_(files), drives_(drives), mounts_(mounts) {}

  // Needs the privilege to mark whole file systems (CAP_SYS_ADMIN).
  bool Start(const std::vector<std::string>& roots) override;
  int Fd() const override { return fanotify_.Get(); }
  void OnReadable() override;
  // Reports every directory of the drives again: a wildcard deletion of its
  // entries whose files are gone, then a creation for each entry present.
  void Resynchronize() override;

 private:
  // A file system's id and a handle, as bytes: a directory's identity.
  using THandleKey = std::string;

  struct TFidRecord {
    THandleKey key;
    std::string_view name;  // the entry's name, for the DFID_NAME kinds
  };

  bool Mark(const std::string& hostPath);
  THandleKey HandleOf(const std::string& directory);
  void Place(const std::string& directory, THandleKey key, bool fromEvent);
  void Forget(const std::string& directory);
  void Move(const std::string& from, const std::string& to);
  void DirectoryCreated(const std::string& path, const THandleKey& key);
  void DirectoryRemoved(const std::string& path);
  // Goes over the directory (and, when recursive, everything below it) as
  // it is on the disk now, placing what it finds; report sends creations for
  // what is there, prune wildcard removals for what is gone.
  void Walk(const std::string& directory, bool report, bool recursive = true, bool prune = true);
  void WalkNew(const std::string& directory);
  std::optional<std::string> DirectoryOf(const TFidRecord& record) const;
  void HandleEvent(std::uint64_t mask, const char* info, std::size_t infoLength);

  TReportSink& sink_;
  platform::TLinuxFileSystem& files_;
  const platform::TLinuxDrives& drives_;
  platform::TMountTable& mounts_;
  platform::TUniqueFd fanotify_;
  std::vector<std::string> roots_;
  // Every directory the reports so far have placed on the drives ("C:\A\"),
  // with its handle where known: ordered, so that a subtree is a range.
  std::map<std::string, THandleKey> known_;
  std::unordered_map<THandleKey, std::string> pathByHandle_;
  std::vector<std::string> walkedAhead_;  // new directories walked since the queue was last empty
};

}  // namespace varnoke::driver
