// The drive scan on a generated tree of about 1,000,000 entries in 100,000
// directories, against a bare walk that makes the same system calls and
// against find, in the same run.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/disk_tree.h"
#include "bench/null_services.h"
#include "bench/tree_drive.h"
#include "db/memory_db.h"
#include "platform/files/directory_reader.h"

namespace varnoke::bench {
namespace {

constexpr std::size_t kDirectories = 100'000;
constexpr std::size_t kFiles = 900'000;
constexpr int kRuns = 3;

// The drives as they are, but claiming not to know how many entries a disk
// holds: the scan then reads every file's size.
class TSizesOnly : public platform::TDrives {
 public:
  explicit TSizesOnly(const platform::TDrives& drives) : drives_(drives) {}
  platform::TDriveType GetDriveType(std::string_view root) const override {
    return drives_.GetDriveType(root);
  }
  bool GetDiskFreeSpace(std::string_view root, platform::TDiskSpace& space) const override {
    const bool ok = drives_.GetDiskFreeSpace(root, space);
    space.UsedEntries = 0;
    return ok;
  }

 private:
  const platform::TDrives& drives_;
};

// Opens, lists and closes every directory depth first, with the same calls
// the scan makes (openat, fstat, getdents64), building nothing.
std::size_t BareWalk(const std::string& root) {
  platform::TDirectoryReader reader;
  std::size_t entries = 0;
  std::vector<int> stack{::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  std::vector<std::string> pending;
  while (!stack.empty()) {
    const int fd = stack.back();
    stack.pop_back();
    struct stat st {};
    ::fstat(fd, &st);
    pending.clear();
    reader.ReadAll(fd, false, [&](const platform::TRawEntry& entry) {
      ++entries;
      if (entry.Name[0] != '.' && platform::TDirectoryReader::IsDirectory(fd, entry)) {
        pending.emplace_back(entry.Name);
      }
    });
    for (const std::string& name : pending) {
      const int child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (child >= 0) stack.push_back(child);
    }
    ::close(fd);
  }
  return entries;
}

int Main() {
  const char* base = std::getenv("VARNOKE_BENCH_DIR");
  const std::string folder = base != nullptr ? base : "/tmp/varnoke-bench";
  const TDiskTree tree = EnsureDiskTree(folder + "/scan", kDirectories, kFiles);

  const std::string links = folder + "/scan-dosdevices";
  if (!LinkDriveC(links, tree.root)) return 1;
  TTreeDrive drive(links);

  BareWalk(tree.root);  // hot cache from here on
  std::size_t walked = 0;
  const double walkMs = BestMs(kRuns, [&] { walked = BareWalk(tree.root); });

  // The database file has a benchmark of its own.
  TMemoryDB db(drive.Services());
  TQuietObserver observer;
  const double scanMs = BestMs(kRuns, [&] { db.ScanDrives("memdb.dat", observer); });
  const int finalProgress = observer.last;
  const double recorded =
      static_cast<double>(db.DDList().DirectoryCount() + db.DDList().FileCount());

  TSizesOnly sizesOnly(drive.drives);
  TMemoryDB sizedDb({sizesOnly, drive.files, drive.noDataFiles, drive.settings});
  TQuietObserver sizedObserver;
  const double sizedMs = BestMs(kRuns, [&] { sizedDb.ScanDrives("memdb.dat", sizedObserver); });

  const std::string find = "find '" + tree.root + "' -printf '%s\\n' > /dev/null";
  const double findMs = BestMs(kRuns, [&] {
    if (std::system(find.c_str()) != 0) std::fprintf(stderr, "find failed\n");
  });

  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);

  Report("scan_tree_entries", recorded);
  Report("walk_entries_listed", static_cast<double>(walked));
  Report("scan_ms", scanMs);
  Report("walk_ms", walkMs);
  Report("find_ms", findMs);
  Report("scan_entries_per_s", recorded / (scanMs / 1000.0));
  Report("scan_vs_walk_ratio", scanMs / walkMs);
  Report("scan_vs_find_ratio", scanMs / findMs);
  Report("scan_final_progress", finalProgress);
  Report("scan_with_sizes_ms", sizedMs);
  Report("scan_with_sizes_vs_find_ratio", sizedMs / findMs);
  Report("scan_with_sizes_final_progress", sizedObserver.last);
  Report("scan_peak_rss_mb", static_cast<double>(usage.ru_maxrss) / 1024.0);
  // Everything the tree holds (records, names, entries, the lookup index is
  // not built by a scan) per file.
  Report("bytes_per_file", static_cast<double>(db.DDList().BytesReserved()) /
                               static_cast<double>(db.DDList().FileCount()));
  return 0;
}

}  // namespace
}  // namespace varnoke::bench

int main() {
  return varnoke::bench::Main();
}
