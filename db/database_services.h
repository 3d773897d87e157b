// The host services the database works through, all borrowed: they must
// outlive the database.
#pragma once

#include "platform/data_files.h"
#include "platform/drives.h"
#include "platform/file_system.h"
#include "settings/settings_store.h"

namespace varnoke {

struct TDatabaseServices {
  const platform::TDrives& Drives;     // drive types and geometry
  platform::TFileSystem& Files;        // the drives' directories
  platform::TDataFiles& DataFiles;     // the database file
  settings::TSettingsStore& Settings;  // the setting "CRC32"
};

}  // namespace varnoke
