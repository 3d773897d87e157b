// The host's mounts, read from /proc/self/mountinfo, and the drive type each
// of them stands for.
#pragma once

#include <sys/types.h>

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/drives.h"
#include "platform/unique_fd.h"

namespace varnoke::platform {

struct TMount {
  std::string MountPoint;  // host path, escapes decoded
  std::string FsType;      // "ext4", "fuse.sshfs", ...
  std::string Source;      // "/dev/sda1", "tmpfs", ...
  unsigned Major = 0;      // of st_dev of the files in the mount
  unsigned Minor = 0;
};

// Parses the text of a mountinfo file. Lines that cannot be parsed are left
// out.
std::vector<TMount> ParseMountInfo(std::string_view text);

// Where to look up block devices: normally "/sys", and a folder of the
// test's own in tests.
struct TBlockDeviceInfo {
  std::string SysRoot = "/sys";
  std::string DevRoot = "/dev";
};

// The drive type a mount stands for: CD-ROM for iso9660 and udf, remote for
// network file systems, RAM disk for tmpfs, ramfs and zram, removable for a
// block device that is removable or sits on USB, fixed for any other block
// device, unknown for everything without one.
TDriveType ClassifyMount(const TMount& mount, const TBlockDeviceInfo& devices);

// A snapshot of the mounts that renews itself when the kernel reports a
// change to the mount table. Safe to use from any thread.
class TMountTable {
 public:
  explicit TMountTable(std::string mountInfoPath = "/proc/self/mountinfo",
                       TBlockDeviceInfo devices = {});
  TMountTable(const TMountTable&) = delete;
  TMountTable& operator=(const TMountTable&) = delete;

  // The type of the mount that holds the host path (an absolute, resolved
  // path): the longest mount point that contains it, the last of several
  // at the same point. Unknown when no mount holds it.
  TDriveType TypeOfPath(std::string_view hostPath);

  // The type of the mount whose files have the device number dev.
  TDriveType TypeOfDevice(dev_t dev);

  // The mount points strictly below hostPath whose mounts are fixed disks.
  std::vector<std::string> FixedMountsBelow(std::string_view hostPath);

 private:
  void RefreshLocked();

  const std::string path_;
  const TBlockDeviceInfo devices_;
  std::mutex mutex_;
  TUniqueFd watch_;             // polled for changes; Guarded by mutex_.
  bool loaded_ = false;         // Guarded by mutex_.
  std::vector<TMount> mounts_;  // Guarded by mutex_.
};

}  // namespace varnoke::platform
