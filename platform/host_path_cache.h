// Turning many drive-form paths into host paths, as TLinuxFileSystem's
// HostPath does one at a time, with each directory listed once: stored
// names are upper-cased, so nearly every component needs the case-blind
// match against its directory's entries.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/linux_drives.h"

namespace varnoke::platform {

class THostPathCache {
 public:
  // drives is borrowed and must outlive the cache.
  explicit THostPathCache(const TLinuxDrives& drives) : drives_(drives) {}

  // The host form of a drive-form path; empty when its drive has no root.
  const std::string& HostPath(std::string_view drivePath);

 private:
  struct TDirectory {
    std::string host;  // the directory's host path
    bool listed = false;
    // Upper-cased entry name -> the first host name in listing order.
    std::unordered_map<std::string, std::string> byUpperName;
  };

  TDirectory& Directory(std::string_view drivePath);
  std::string Component(TDirectory& directory, std::string_view name);

  const TLinuxDrives& drives_;
  std::unordered_map<std::string, TDirectory> directories_;  // by drive-form path
  std::string result_;
};

}  // namespace varnoke::platform
