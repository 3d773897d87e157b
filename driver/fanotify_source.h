// Change reports from fanotify: one mark on each file system of the fixed
// drives reports every creation, deletion and rename on it, with the
// directory as a file handle and the entry's name.
#pragma once

#include <sys/vfs.h>

#include <map>
#include <optional>
#include <set>
#include <string>
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
  using TFsid = std::pair<int, int>;

  bool Mark(const std::string& hostPath);
  // The drive-form path of the entry name in the directory a handle names,
  // when it lies on a fixed drive and the scan would record it.
  std::optional<std::string> EntryPath(const void* fidInfo, std::string_view& name);
  std::optional<std::string> DrivePath(const std::string& hostPath) const;
  void HandleEvent(std::uint64_t mask, const char* info, std::size_t infoLength);
  void Appeared(const std::string& path, bool directory);
  void Vanished(const std::string& path, bool directory);
  void RecheckTree(const std::string& directory);

  TReportSink& sink_;
  platform::TLinuxFileSystem& files_;
  const platform::TLinuxDrives& drives_;
  platform::TMountTable& mounts_;
  platform::TUniqueFd fanotify_;
  std::map<TFsid, platform::TUniqueFd> mountFds_;  // a directory of each marked file system
  std::set<char> fixedLetters_;
  std::vector<std::string> roots_;
};

}  // namespace varnoke::driver
