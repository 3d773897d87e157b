// Everything a database needs from its host, held in memory: drives, their
// directories, the database file and the settings.
#pragma once

#include "db/database_services.h"
#include "settings/settings_store.h"
#include "tests/support/fake_drives.h"
#include "tests/support/memory_data_files.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/memory_registry.h"

namespace varnoke::testing {

struct TTestHost {
  TTestHost() { registry.AddSettingsKey(); }

  TDatabaseServices Services() { return {drives, files, dataFiles, settings}; }

  TFakeDrives drives;
  TMemoryFileSystem files;
  TMemoryDataFiles dataFiles;
  TMemoryRegistry registry;
  settings::TSettingsStore settings{registry};
};

}  // namespace varnoke::testing
