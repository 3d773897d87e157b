// The machine's services as a program of the user has them: the user's
// settings hive, the drive map, the mount table, and the Linux drives, file
// system and data files over them.
#pragma once

#include "db/database_services.h"
#include "platform/config_paths.h"
#include "platform/drives/drive_map.h"
#include "platform/drives/hive_drive_overrides.h"
#include "platform/drives/linux_drives.h"
#include "platform/drives/mount_table.h"
#include "platform/files/linux_data_files.h"
#include "platform/files/linux_file_system.h"
#include "platform/hive/hive_file.h"
#include "settings/settings_store.h"

namespace varnoke {

struct TMachineServices {
  platform::THiveFile Hive{platform::DefaultHivePath()};
  settings::TSettingsStore Settings{Hive};
  platform::TDriveMap Map{platform::DriveLinkFolder()};
  platform::TMountTable Mounts;
  platform::THiveDriveTypeOverrides Overrides{Hive};
  platform::TLinuxDrives Drives{Map, Mounts, &Overrides};
  platform::TLinuxFileSystem Files{Drives, Mounts};
  platform::TLinuxDataFiles DataFiles;

  TDatabaseServices Services() { return {Drives, Files, DataFiles, Settings}; }
};

}  // namespace varnoke
