// The file system of this machine, reached through the drive map.
//
// Directories are opened one component at a time relative to their parent
// (openat), so a path is never limited in length, and the chain of open
// directories of the last listing is kept: a scan that lists a directory and
// then its subdirectories opens each of them once, by name, from its parent.
#pragma once

#include <sys/types.h>

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/directory_reader.h"
#include "platform/file_system.h"
#include "platform/linux_drives.h"
#include "platform/mount_table.h"
#include "platform/unique_fd.h"

namespace varnoke::platform {

class TLinuxFileSystem : public TFileSystem {
 public:
  // Both are borrowed and must outlive this object.
  TLinuxFileSystem(const TLinuxDrives& drives, TMountTable& mounts);

  bool ListDirectory(std::string_view path, bool withSizes, TDirectoryListing& listing) override;

  // The host form of a drive-form path: the drive's root, then each
  // component matched against the disk (the entry of exactly that name, else
  // the first entry whose upper-cased name equals the component's; a
  // component that matches nothing keeps its text), joined with "/". Empty
  // components are dropped. Empty when the drive has no root.
  std::string HostPath(std::string_view drivePath) const;

  // The drive form of an absolute host path: the drive whose root holds it
  // (the longest root; at equal roots the first letter), then the rest with
  // "\" for "/". Nothing when no drive holds it or a component contains "\".
  std::optional<std::string> DrivePath(std::string_view hostPath) const;

  // Directory descriptors kept open at most; deeper levels are closed and
  // opened again from their parent when needed.
  static constexpr std::size_t kMaxOpenLevels = 64;

 private:
  struct Level {
    std::string name;      // as the caller spelled it
    std::string hostName;  // as the disk spells it
    TUniqueFd fd;          // may be closed to stay within kMaxOpenLevels
    dev_t dev = 0;
    ino_t ino = 0;
  };

  bool OpenChain(char letter, const std::vector<std::string_view>& components);
  bool OpenRoot(char letter, bool verify);
  bool EnsureOpen(std::size_t level);
  bool PushChild(std::string_view name);
  void LimitOpenLevels();
  void ReadListing(int fd, bool withSizes, TDirectoryListing& listing);

  const TLinuxDrives& drives_;
  TMountTable& mounts_;

  std::mutex mutex_;
  char letter_ = 0;            // Guarded by mutex_.
  std::string rootPath_;       // Guarded by mutex_.
  std::vector<Level> levels_;  // levels_[0] is the drive root. Guarded by mutex_.
  TDirectoryReader reader_;    // Guarded by mutex_.
};

// Splits a drive-form directory path "C:\A\B\" (the final "\" optional) into
// its upper-cased drive letter and components. False for a path that does
// not start with a drive root or has an empty component.
bool SplitDrivePath(std::string_view path, char& letter, std::vector<std::string_view>& components);

}  // namespace varnoke::platform
