// A drive made of a temporary folder: its own drive-link folder with a link
// "c:" to a fresh directory, typed fixed by override, the Linux drive and
// file-system services over it, and a settings hive of its own holding the
// settings key.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "db/database_services.h"
#include "platform/drives/drive_map.h"
#include "platform/drives/drive_type_overrides.h"
#include "platform/drives/linux_drives.h"
#include "platform/drives/mount_table.h"
#include "platform/files/linux_data_files.h"
#include "platform/files/linux_file_system.h"
#include "platform/hive/hive_file.h"
#include "settings/settings_store.h"
#include "tests/support/temp_dir.h"

namespace varnoke::testing {

class TTempDrive {
 public:
  TTempDrive() : links_(temp_.Path() + "/dosdevices"), map_(links_) {
    ::mkdir(links_.c_str(), 0755);
    AddDrive('C', "disk");
    overrides_.Set('C', platform::TDriveType::Fixed);
    std::string problem;
    hive_.Modify(
        [](platform::THiveContents& contents) {
          contents.FindOrAdd("HKEY_CLASSES_ROOT\\Varnoke\\Settings");
          return true;
        },
        problem);
  }

  TDatabaseServices Services() { return {drives_, files_, dataFiles_, settings_}; }
  // Where the database file of a test goes.
  std::string DatabasePath() const { return temp_.Path() + "/memdb.dat"; }

  // Makes the drive letter point to a folder under the temporary folder.
  std::string AddDrive(char letter, const std::string& folder) {
    const std::string root = temp_.Path() + "/" + folder;
    ::mkdir(root.c_str(), 0755);
    const std::string link = links_ + "/" + static_cast<char>(letter | 0x20) + ":";
    ::unlink(link.c_str());
    if (::symlink(root.c_str(), link.c_str()) != 0) throw std::runtime_error("symlink failed");
    return root;
  }

  // The host path of a file or folder below C:'s root ("a/b").
  std::string Host(const std::string& relative = "") const {
    return relative.empty() ? Root() : Root() + "/" + relative;
  }
  std::string Root() const { return temp_.Path() + "/disk"; }

  void MakeDirectory(const std::string& relative) const {
    std::string path = Root();
    std::size_t begin = 0;
    while (begin <= relative.size()) {
      std::size_t slash = relative.find('/', begin);
      if (slash == std::string::npos) slash = relative.size();
      path += "/" + relative.substr(begin, slash - begin);
      ::mkdir(path.c_str(), 0755);
      begin = slash + 1;
    }
  }
  void MakeFile(const std::string& relative, const std::string& content = "") const {
    const std::size_t slash = relative.rfind('/');
    if (slash != std::string::npos) MakeDirectory(relative.substr(0, slash));
    std::ofstream(Host(relative), std::ios::binary) << content;
  }

  const std::string& TempPath() const { return temp_.Path(); }
  platform::TDriveTypeTable& Overrides() { return overrides_; }
  platform::TLinuxDrives& Drives() { return drives_; }
  platform::TLinuxFileSystem& Files() { return files_; }
  platform::THiveFile& Hive() { return hive_; }
  settings::TSettingsStore& Settings() { return settings_; }
  platform::TMountTable& Mounts() { return mounts_; }

 private:
  TTempDir temp_;
  std::string links_;
  platform::TDriveMap map_;
  platform::TMountTable mounts_;
  platform::TDriveTypeTable overrides_;
  platform::TLinuxDrives drives_{map_, mounts_, &overrides_};
  platform::TLinuxFileSystem files_{drives_, mounts_};
  platform::TLinuxDataFiles dataFiles_;
  platform::THiveFile hive_{temp_.Path() + "/registry.reg"};
  settings::TSettingsStore settings_{hive_};
};

}  // namespace varnoke::testing
