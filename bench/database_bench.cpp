// Saving and loading the database file of a 1,000,000-entry tree, against
// writing and reading a file of the same size with plain write and read in
// the same run.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "bench/bench_util.h"
#include "bench/plain_io.h"
#include "bench/tree_fill.h"
#include "db/memory_db.h"
#include "platform/files/linux_data_files.h"
#include "platform/hive/hive_file.h"
#include "platform/registry.h"
#include "tests/support/fake_drives.h"
#include "tests/support/memory_file_system.h"

namespace varnoke::bench {
namespace {

constexpr std::size_t kDirectories = 100'000;
constexpr std::size_t kFiles = 900'000;
constexpr int kRuns = 5;

int Main() {
  char folderTemplate[] = "/tmp/varnoke-bench-db-XXXXXX";
  const std::string folder = ::mkdtemp(folderTemplate);
  const std::string path = folder + "/memdb.dat";

  testing::TFakeDrives drives;
  testing::TMemoryFileSystem files;
  platform::TLinuxDataFiles dataFiles;
  platform::THiveFile hive(folder + "/registry.reg");
  std::string problem;
  hive.Modify(
      [](platform::THiveContents& contents) {
        contents.FindOrAdd("HKEY_CLASSES_ROOT\\Varnoke\\Settings");
        return true;
      },
      problem);
  settings::TSettingsStore settings(hive);
  TMemoryDB db({drives, files, dataFiles, settings});
  FillGenerated(db, kDirectories, kFiles);
  db.LoadFromFile(path);  // gives the database its file name

  const double saveMs = BestMs(kRuns, [&] { db.SaveToFile(); });
  platform::TFileImage image;
  platform::TFileError error;
  dataFiles.ReadFile(path, image, error, nullptr);
  const std::string bytes(reinterpret_cast<const char*>(image.Data()), image.Size());
  const std::string peer = folder + "/plain.dat";
  const double writeMs = BestMs(kRuns, [&] { PlainWrite(peer, bytes); });

  // Each load goes into a fresh database, as at start-up; freeing the
  // loaded tree is not part of the figure.
  bool ok = true;
  std::size_t loadedFiles = 0;
  double loadMs = 1e300;
  for (int run = 0; run < kRuns; ++run) {
    TMemoryDB loaded({drives, files, dataFiles, settings});
    loadMs = std::min(loadMs, BestMs(1, [&] { ok = ok && loaded.LoadFromFile(path); }));
    loadedFiles = loaded.DDList().FileCount();
  }
  const double readMs = BestMs(kRuns, [&] { PlainRead(peer, bytes.size()); });

  const double entries = static_cast<double>(db.DDList().FileCount());
  Report("database_files", entries);
  Report("database_directories", static_cast<double>(db.DDList().DirectoryCount()));
  Report("memdb_bytes", static_cast<double>(bytes.size()));
  Report("memdb_bytes_per_file", static_cast<double>(bytes.size()) / entries);
  Report("save_ms", saveMs);
  Report("write_ms", writeMs);
  Report("save_vs_write_ratio", saveMs / writeMs);
  Report("load_ms", loadMs);
  Report("read_ms", readMs);
  Report("load_vs_read_ratio", loadMs / readMs);

  const std::string clean = "rm -rf -- '" + folder + "'";
  if (std::system(clean.c_str()) != 0) return 1;
  return ok && loadedFiles == db.DDList().FileCount() ? 0 : 1;
}

}  // namespace
}  // namespace varnoke::bench

int main() {
  return varnoke::bench::Main();
}
