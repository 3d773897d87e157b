// A drive for tests of the live monitor: the program's configuration folder
// (XDG_CONFIG_HOME) points into a temporary folder for the length of the
// test, with drive C: linked to a fresh directory and typed fixed in the
// settings hive, so that the real device sees what the test's database sees.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

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
#include "tests/support/temp_dir.h"

namespace varnoke::testing {

class TConfigHome {
 public:
  explicit TConfigHome(const std::string& folder) {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) previous_ = old;
    ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  }
  ~TConfigHome() {
    if (previous_) {
      ::setenv("XDG_CONFIG_HOME", previous_->c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
  }

 private:
  std::optional<std::string> previous_;
};

class TLiveDrive {
 public:
  // root: the folder drive C: stands for; by default a fresh one.
  explicit TLiveDrive(std::string root = {}) : root_(std::move(root)) {
    for (const char* folder :
         {"/config", "/config/varnoke", "/config/varnoke/dosdevices", "/disk", "/outside"}) {
      ::mkdir((temp_.Path() + folder).c_str(), 0755);
    }
    if (root_.empty()) root_ = temp_.Path() + "/disk";
    ::symlink(Root().c_str(), (temp_.Path() + "/config/varnoke/dosdevices/c:").c_str());
    std::string problem;
    hive_.Modify(
        [](platform::THiveContents& contents) {
          contents.FindOrAdd("HKEY_CLASSES_ROOT\\Varnoke\\Settings");
          contents.FindOrAdd(platform::kDrivesKey)
              .Set("c:", platform::kRegSz, platform::StringData("fixed"));
          return true;
        },
        problem);
  }

  TDatabaseServices Services() { return {drives_, files_, dataFiles_, settings_}; }
  // The same with data files of the caller's (nothing saved, for one).
  TDatabaseServices Services(platform::TDataFiles& dataFiles) {
    return {drives_, files_, dataFiles, settings_};
  }
  std::string Root() const { return root_; }
  std::string Outside() const { return temp_.Path() + "/outside"; }
  std::string DatabasePath() const { return temp_.Path() + "/memdb.dat"; }

 private:
  TTempDir temp_;
  std::string root_;
  TConfigHome home_{temp_.Path() + "/config"};
  platform::THiveFile hive_{platform::DefaultHivePath()};
  settings::TSettingsStore settings_{hive_};
  platform::THiveDriveTypeOverrides overrides_{hive_};
  platform::TDriveMap map_{platform::DriveLinkFolder()};
  platform::TMountTable mounts_;
  platform::TLinuxDrives drives_{map_, mounts_, &overrides_};
  platform::TLinuxFileSystem files_{drives_, mounts_};
  platform::TLinuxDataFiles dataFiles_;
};

}  // namespace varnoke::testing
