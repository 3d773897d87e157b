// The drive map: one symbolic link per drive in a folder, named by the
// drive's lower-case letter and a colon ("c:"), pointing to the host
// directory that is the drive's root. A letter without a link has no root.
#pragma once

#include <optional>
#include <string>

namespace varnoke::platform {

class TDriveMap {
 public:
  // folder is usually DriveLinkFolder().
  explicit TDriveMap(std::string folder) : folder_(std::move(folder)) {}

  // The host path the drive's link points to, absolute (a relative link is
  // taken from the link folder). Read
  // from the disk on every call, so that links made while the program runs
  // count at once.
  std::optional<std::string> LinkTarget(char letter) const;

  const std::string& Folder() const noexcept { return folder_; }

 private:
  std::string folder_;
};

}  // namespace varnoke::platform
