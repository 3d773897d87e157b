// The settings, drive and installation folder of a user whose database was
// saved cleanly, for the benchmarks that run the real program.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "bench/tree_fill.h"
#include "db/memory_db.h"
#include "platform/files/linux_data_files.h"
#include "platform/hive/hive_file.h"
#include "settings/settings_store.h"
#include "tests/support/fake_drives.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/program_hive.h"

namespace varnoke::bench {

class TInstallation {
 public:
  TInstallation(const std::string& root, const std::string& hookLibrary)
      : root_(root), hive_(root + "/config/varnoke/registry.reg") {
    for (const std::string folder :
         {"/config", "/config/varnoke", "/config/varnoke/dosdevices", "/install", "/disk"})
      ::mkdir((root + folder).c_str(), 0755);
    [[maybe_unused]] const int linked =
        ::symlink((root + "/disk").c_str(), (root + "/config/varnoke/dosdevices/c:").c_str()) +
        ::symlink(hookLibrary.c_str(), (root + "/install/mhook.dll").c_str());
    std::ofstream(root + "/config/varnoke/registry.reg")
        << testing::ProgramHiveText(root + "/install", 1);
  }

  // Saves a generated tree as the database; its entry count.
  std::size_t SaveDatabase(std::size_t directories, std::size_t fileCount) {
    testing::TFakeDrives drives;
    testing::TMemoryFileSystem files;
    platform::TLinuxDataFiles dataFiles;
    settings::TSettingsStore settings(hive_);
    TMemoryDB db({drives, files, dataFiles, settings});
    FillGenerated(db, directories, fileCount);
    db.LoadFromFile(root_ + "/install/memdb.dat");  // gives the database its file name
    db.SaveToFile();
    return db.DDList().FileCount() + db.DDList().DirectoryCount();
  }

  // Every start loads: the program clears the flag on loading, and a
  // benchmark run may end before it is set again.
  void MarkSaved() {
    settings::TSettingsStore settings(hive_);
    settings.WriteDWORDSetting(settings::SettingsKey, "SaveSuccessful", 1);
  }

 private:
  std::string root_;
  platform::THiveFile hive_;
};

}  // namespace varnoke::bench
