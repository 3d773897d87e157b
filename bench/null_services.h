// Host services for benchmarks that need none of them: nothing is read,
// saved or stored.
#pragma once

#include "db/database_services.h"
#include "platform/data_files.h"
#include "platform/drives.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "settings/settings_store.h"

namespace varnoke::bench {

// Every drive is a fixed disk of unknown size.
class TAllFixed : public platform::TDrives {
 public:
  platform::TDriveType GetDriveType(std::string_view) const override {
    return platform::TDriveType::Fixed;
  }
  bool GetDiskFreeSpace(std::string_view, platform::TDiskSpace&) const override { return false; }
};

// Nothing is listed.
class TNoFiles : public platform::TFileSystem {
 public:
  bool ListDirectory(std::string_view, bool, platform::TDirectoryListing&) override {
    return false;
  }
  bool FileExists(std::string_view) const override { return false; }
};

class TNoDataFiles : public platform::TDataFiles {
 public:
  bool ReadFile(const std::string&, platform::TFileImage&, platform::TFileError&,
                platform::TReadCheck*) override {
    return false;
  }
  bool CanReplace(const std::string&, platform::TFileError&) override { return false; }
  std::unique_ptr<platform::TFileLock> ShareLock(const std::string&) override { return nullptr; }
  std::unique_ptr<platform::TPendingFile> BeginReplace(const std::string&,
                                                       platform::TFileError&) override {
    return nullptr;
  }
};

class TNoRegistry : public platform::TRegistry {
 public:
  platform::THiveRead Read() const override { return {}; }
  platform::TModifyResult Modify(const std::function<bool(platform::THiveContents&)>&,
                                 std::string&) override {
    return platform::TModifyResult::Unwritable;
  }
};

// All of them, for a database that only lives in memory.
struct TNullServices {
  TDatabaseServices Services() { return {Drives, Files, DataFiles, Settings}; }

  TAllFixed Drives;
  TNoFiles Files;
  TNoDataFiles DataFiles;
  TNoRegistry Registry;
  settings::TSettingsStore Settings{Registry};
};

}  // namespace varnoke::bench
