// Patterns written as Linux paths: "/etc/*.conf", "~/Documents/*.pdf". The
// directory part is taken to the drive whose root holds it, and the pattern
// becomes the path-qualified search of the drive form ("C:\ETC\*.conf"),
// which finds the matching files in that directory and every one below it.
#pragma once

#include <string>
#include <string_view>

#include "platform/drives/linux_drives.h"

namespace varnoke::platform {

// True for a pattern that begins with "/" or "~/".
bool IsHostPathPattern(std::string_view pattern) noexcept;

struct THostPattern {
  enum class TKind {
    Mapped,       // DrivePattern is the search to run
    NoDrive,      // no drive's root holds the directory
    Unindexable,  // a component holds "\", which no drive-form path can
  };
  TKind Kind = TKind::NoDrive;
  // "C:\ETC\*.conf": the directory in drive form, then the name pattern as
  // it was written.
  std::string DrivePattern;
  // The directory as the user wrote it ("~/.config", "/"), for messages.
  std::string Directory;
};

// Maps a pattern for which IsHostPathPattern holds. "~/" stands for home.
// "." and ".." are resolved, symbolic links where the directory (or the
// longest part of it that exists) can be resolved on the disk; the rest is
// taken as written, so that letter case never matters below a drive root.
THostPattern MapHostPattern(const TLinuxDrives& drives, std::string_view pattern,
                            std::string_view home);

// The user's home folder: $HOME, else the password database's entry.
std::string HomeFolder();

// True when a component of the pattern, its directories' or its final
// name, begins with "." and is neither "." nor "..": a hidden name of a
// Linux disk, which the scan leaves out with everything below it. A plain
// pattern that begins with "." is a directory-name search and counts too.
bool NamesHiddenEntry(std::string_view pattern) noexcept;

}  // namespace varnoke::platform
