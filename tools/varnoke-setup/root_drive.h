// Drive C: on a root that the mounts do not count as a disk.
#pragma once

#include <string>

#include "platform/drives.h"
#include "platform/registry.h"

namespace varnoke::setup {

// When drive C: is the root of the file system and the mounts give that
// root another type than fixed (the root of a container or a chroot has no
// mount entry of its own, or one of a kind that is not a disk), declares
// c: fixed among the drive types of the settings, so that a scan covers it.
// An override already there is left as it is. Returns what it did, for the
// user, or empty when nothing; on failure returns empty with problem set.
std::string DeclareRootFixed(platform::TRegistry& registry, const std::string& cTarget,
                             platform::TDriveType rootType, std::string& problem);

}  // namespace varnoke::setup
