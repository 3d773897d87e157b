// Saving and loading the database file of a 1,000,000-entry tree, against
// writing and reading a file of the same size with plain write and read in
// the same run.

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "bench/bench_util.h"
#include "bench/generated_database.h"
#include "bench/plain_io.h"
#include "db/memory_db.h"

namespace varnoke::bench {
namespace {

constexpr std::size_t kDirectories = 100'000;
constexpr std::size_t kFiles = 900'000;
constexpr int kRuns = 5;

int Main() {
  TGeneratedDatabase generated("/tmp/varnoke-bench-db-XXXXXX", kDirectories, kFiles);
  TMemoryDB& db = generated.Db;
  const std::string& folder = generated.Folder;
  const std::string& path = generated.Path;
  platform::TLinuxDataFiles& dataFiles = generated.DataFiles;

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
    TMemoryDB loaded(generated.Services());
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

  return ok && loadedFiles == db.DDList().FileCount() ? 0 : 1;
}

}  // namespace
}  // namespace varnoke::bench

int main() {
  return varnoke::bench::Main();
}
