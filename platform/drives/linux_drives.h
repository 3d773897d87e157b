// The drives of this machine: the drive map's links, typed by the mount
// that holds each link's target unless an override says otherwise.
#pragma once

#include <array>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/drives.h"
#include "platform/drives/drive_map.h"
#include "platform/drives/drive_type_overrides.h"
#include "platform/drives/mount_table.h"

namespace varnoke::platform {

class TLinuxDrives : public TDrives {
 public:
  // All three are borrowed and must outlive this object; overrides may be
  // null.
  TLinuxDrives(const TDriveMap& map, TMountTable& mounts, const TDriveTypeOverrides* overrides);

  TDriveType GetDriveType(std::string_view root) const override;
  bool GetDiskFreeSpace(std::string_view root, TDiskSpace& space) const override;

  // The resolved host directory of the drive's root, or empty when the
  // letter has no root.
  std::string HostRoot(char letter) const;

  // The drive form of an absolute host path: the drive whose root holds it
  // (the longest root; at equal roots the first letter), then the rest with
  // "\" for "/". Nothing when no drive holds it or a component contains "\".
  std::optional<std::string> DrivePath(std::string_view hostPath) const;

 private:
  const TDriveMap& map_;
  TMountTable& mounts_;
  const TDriveTypeOverrides* overrides_;

  // Resolving a link target costs a system call per component; the result
  // is kept for as long as the link's text stays the same.
  struct Resolved {
    std::string target;
    std::string path;
  };
  mutable std::mutex mutex_;
  mutable std::array<Resolved, 26> resolved_;  // Guarded by mutex_.
};

}  // namespace varnoke::platform
