// A database filled with a generated tree, with the services it runs on: an
// empty in-memory disk, the real data files in a scratch folder, and a
// settings hive there. Its file name is the folder's memdb.dat, not yet
// written. The folder goes away with it.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/tree_fill.h"
#include "db/memory_db.h"
#include "platform/files/linux_data_files.h"
#include "platform/hive/hive_file.h"
#include "platform/registry.h"
#include "tests/support/fake_drives.h"
#include "tests/support/memory_file_system.h"

namespace varnoke::bench {

// Makes a scratch folder from a mkdtemp template such as
// "/tmp/varnoke-bench-XXXXXX".
inline std::string MakeScratchFolder(std::string folderTemplate) {
  return ::mkdtemp(folderTemplate.data());
}

// The members are in the order they are made.
struct TGeneratedDatabase {
  TGeneratedDatabase(const std::string& folderTemplate, std::size_t directories, std::size_t files)
      : Folder(MakeScratchFolder(folderTemplate)),
        Path(Folder + "/memdb.dat"),
        Hive(Folder + "/registry.reg"),
        Settings(WithSettingsKey(Hive)),
        Db(Services()) {
    FillGenerated(Db, directories, files);
    Db.LoadFromFile(Path);  // gives the database its file name
  }
  ~TGeneratedDatabase() {
    const std::string clean = "rm -rf -- '" + Folder + "'";
    if (std::system(clean.c_str()) != 0) std::perror("rm");
  }
  TGeneratedDatabase(const TGeneratedDatabase&) = delete;
  TGeneratedDatabase& operator=(const TGeneratedDatabase&) = delete;

  // What another database, say one that loads the file, is made with.
  TDatabaseServices Services() { return {Drives, Files, DataFiles, Settings}; }

  static platform::THiveFile& WithSettingsKey(platform::THiveFile& hive) {
    std::string problem;
    hive.Modify(
        [](platform::THiveContents& contents) {
          contents.FindOrAdd("HKEY_CLASSES_ROOT\\Varnoke\\Settings");
          return true;
        },
        problem);
    return hive;
  }

  const std::string Folder;
  const std::string Path;
  testing::TFakeDrives Drives;
  testing::TMemoryFileSystem Files;
  platform::TLinuxDataFiles DataFiles;
  platform::THiveFile Hive;
  settings::TSettingsStore Settings;
  TMemoryDB Db;
};

}  // namespace varnoke::bench
