// Drive C: as a generated tree on the disk, typed fixed, over a drive map of
// the benchmark's own, with the services a scan needs and nothing saved:
// the save at the end of a scan is refused at once, so what is measured is
// the scan.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "bench/null_services.h"
#include "db/database_services.h"
#include "db/scan_observer.h"
#include "platform/drives/drive_map.h"
#include "platform/drives/drive_type_overrides.h"
#include "platform/drives/linux_drives.h"
#include "platform/drives/mount_table.h"
#include "platform/files/linux_file_system.h"
#include "settings/settings_store.h"

namespace varnoke::bench {

// Links linkFolder/c: to root; false when the link cannot be made.
inline bool LinkDriveC(const std::string& linkFolder, const std::string& root) {
  ::mkdir(linkFolder.c_str(), 0755);
  ::unlink((linkFolder + "/c:").c_str());
  return ::symlink(root.c_str(), (linkFolder + "/c:").c_str()) == 0;
}

struct TTreeDrive {
  // The drive map in linkFolder, whose c: LinkDriveC made.
  explicit TTreeDrive(const std::string& linkFolder) : map(linkFolder) {
    overrides.Set('C', platform::TDriveType::Fixed);
  }
  TDatabaseServices Services() { return {drives, files, noDataFiles, settings}; }

  platform::TDriveMap map;
  platform::TMountTable mounts;
  platform::TDriveTypeTable overrides;
  platform::TLinuxDrives drives{map, mounts, &overrides};
  platform::TLinuxFileSystem files{drives, mounts};
  TNoDataFiles noDataFiles;
  TNoRegistry noRegistry;
  settings::TSettingsStore settings{noRegistry};
};

// Takes the scan's calls and shows nothing.
class TQuietObserver : public TScanObserver {
 public:
  void ProcessMessages() override {}
  void SetProgressPosition(int position) override { last = position; }
  int last = 0;
};

}  // namespace varnoke::bench
