// The catch-up after a load on a tree of about 1,000,000 entries in 100,000
// directories on the disk, of which 1 % changed while no program ran:
// from the monitor's start to the tree a fresh scan would give, against a
// full scan of the same tree in the same run. With the source the program
// would choose (fanotify where it may be had), and with inotify.
//
// The tree is made once in a folder of its own and kept; each catch-up
// turns it from one of two states to the other, so that a run leaves it as
// it found it.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "bench/bench_util.h"
#include "bench/disk_tree.h"
#include "bench/null_services.h"
#include "bench/tree_drive.h"
#include "monitor/executive.h"
#include "tests/monitor/live_drive.h"

namespace varnoke::bench {
namespace {

constexpr std::size_t kDirectories = 100'000;
constexpr std::size_t kFiles = 900'000;
constexpr int kScanRuns = 3;

void Touch(const std::string& path) {
  const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
  if (fd >= 0) ::close(fd);
}

// What differs between the tree's two states, about 1 % of its entries:
// files only in the first, files only in the second, files renamed, new
// folders with files of their own, and folders moved elsewhere.
class TTwoStates {
 public:
  // Which state the tree is in is kept in stateFile (there: the second),
  // should a run be cut short.
  TTwoStates(const TDiskLayout& layout, std::string stateFile)
      : root_(layout.Paths[0]),
        stateFile_(std::move(stateFile)),
        second_(::access(stateFile_.c_str(), F_OK) == 0) {
    std::unordered_set<std::string> parents;
    for (std::size_t i = 1; i < layout.Paths.size(); ++i)
      parents.insert(layout.Paths[i].substr(0, layout.Paths[i].rfind('/')));
    std::unordered_set<std::size_t> moved;
    for (std::size_t i = 3; i < layout.Paths.size(); i += 10'000) {
      if (parents.count(layout.Paths[i]) != 0) continue;  // leaves only
      moved_.emplace_back(layout.Paths[i], root_ + "/catch-up-moved-" + std::to_string(i));
      moved.insert(i);
    }
    std::size_t file = 0;
    for (std::size_t i = 0; i < layout.Paths.size(); ++i) {
      if (moved.count(i) != 0) continue;
      const std::string& dir = layout.Paths[i];
      for (const std::string& name : layout.Files[i]) {
        if (file % 300 == 0) {
          firstOnly_.push_back(dir + "/" + name);
        } else if (file % 450 == 7) {
          renamed_.emplace_back(dir + "/" + name, dir + "/" + name + "-renamed");
        }
        ++file;
      }
      if (i % 33 == 0) secondOnly_.push_back(dir + "/catch-up-new-" + std::to_string(i) + ".txt");
      if (i % 5000 == 1) folders_.push_back(dir + "/catch-up-folder-" + std::to_string(i));
    }
  }

  // Turns the tree from one state to the other.
  void Toggle() {
    const bool toSecond = !second_;
    for (const auto& [first, second] : moved_)
      Rename(toSecond ? first : second, toSecond ? second : first);
    for (const std::string& path : firstOnly_)
      toSecond ? Remove(path) : Touch(path);
    for (const std::string& path : secondOnly_)
      toSecond ? Touch(path) : Remove(path);
    for (const auto& [first, second] : renamed_)
      Rename(toSecond ? first : second, toSecond ? second : first);
    for (const std::string& folder : folders_) {
      if (toSecond) ::mkdir(folder.c_str(), 0755);
      for (int k = 0; k < kFilesPerFolder; ++k) {
        const std::string path = folder + "/file-" + std::to_string(k) + ".dat";
        toSecond ? Touch(path) : Remove(path);
      }
      if (!toSecond) ::rmdir(folder.c_str());
    }
    second_ = toSecond;
    toSecond ? Touch(stateFile_) : Remove(stateFile_);
  }

 private:
  static constexpr int kFilesPerFolder = 50;
  static void Remove(const std::string& path) { ::unlink(path.c_str()); }
  static void Rename(const std::string& from, const std::string& to) {
    ::rename(from.c_str(), to.c_str());
  }

  std::string root_;
  std::string stateFile_;
  bool second_ = false;
  std::vector<std::string> firstOnly_;
  std::vector<std::string> secondOnly_;
  std::vector<std::pair<std::string, std::string>> renamed_;
  std::vector<std::string> folders_;
  std::vector<std::pair<std::string, std::string>> moved_;
};

// The processor time the process has taken so far, in milliseconds: the
// measure that does not depend on what else runs on the machine, which the
// catch-up's idle threads yield to.
double CpuMs() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

std::multiset<std::string> TreePaths(TMemoryDB& db) {
  std::lock_guard guard(db.Lock);
  std::multiset<std::string> paths;
  for (const TDirectoryRecord* d = db.DDList().FirstDirectory(); d != nullptr; d = d->Next()) {
    const std::string directory = db.DirectoryPath(d);
    paths.insert(directory);
    for (const TFileEntry* e = d->Files(); e != nullptr; e = e->Next())
      paths.insert(directory + e->Name());
  }
  return paths;
}

struct TCatchUpRun {
  double ms = 0;
  double cpuMs = 0;
  std::uint32_t source = 0;
  TCatchUpStatus status;
  bool equalsScan = false;
};

// A run that ends with its tree saved, the 1 % changed while nothing runs,
// and the next start's catch-up on the loaded tree, timed from the
// monitor's start to its end.
TCatchUpRun CatchUp(testing::TLiveDrive& drive, const std::string& databasePath, TTwoStates& states,
                    std::uint32_t source) {
  TCatchUpRun run;
  {
    TMemoryDB previous(drive.Services());
    TQuietObserver observer;
    previous.ScanDrives(databasePath, observer);
  }
  states.Toggle();

  TMemoryDB db(drive.Services());
  if (!db.LoadFromFile(databasePath)) return run;
  platform::TEvent stop(false, false);
  std::mutex mutex;
  std::condition_variable ended;
  TExecutiveOptions options;
  options.Source = source;
  options.CatchUp = true;
  options.OnCatchUp = [&](const TCatchUpStatus& status) {
    if (!status.Ended) return;
    std::lock_guard guard(mutex);
    run.status = status;
    ended.notify_all();
  };
  const auto start = TClock::now();
  const double cpuStart = CpuMs();
  TExecutive executive(db, stop, options);
  if (!executive.WaitUntilRegistered()) return run;
  {
    std::unique_lock lock(mutex);
    ended.wait(lock, [&] { return run.status.Ended; });
  }
  run.ms = MsSince(start);
  run.cpuMs = CpuMs() - cpuStart;
  executive.DeviceControl(VXD_IOCTL_QUERY_SOURCE, nullptr, 0, &run.source, sizeof run.source);

  TNoDataFiles unsaved;
  TMemoryDB fresh(drive.Services(unsaved));
  TQuietObserver observer;
  fresh.ScanDrives("memdb.dat", observer);
  run.equalsScan = TreePaths(db) == TreePaths(fresh);
  return run;
}

int Main() {
  const char* base = std::getenv("VARNOKE_BENCH_DIR");
  const std::string folder =
      (base != nullptr ? base : "/tmp/varnoke-bench") + std::string("/catchup");
  const TDiskTree tree = EnsureDiskTree(folder, kDirectories, kFiles);
  TTwoStates states(DiskTreeLayout(tree.root, kDirectories, kFiles), folder + "/second-state");

  // The configuration of its own, in a temporary folder, with drive C: the
  // tree.
  testing::TLiveDrive drive(tree.root);
  const std::string databasePath = drive.DatabasePath();

  // The peer: a full scan of the same tree, the cache hot, nothing saved.
  TNoDataFiles unsaved;
  TMemoryDB scanned(drive.Services(unsaved));
  TQuietObserver observer;
  scanned.ScanDrives("memdb.dat", observer);
  const double scanCpuStart = CpuMs();
  const double scanMs = BestMs(kScanRuns, [&] { scanned.ScanDrives("memdb.dat", observer); });
  const double scanCpuMs = (CpuMs() - scanCpuStart) / kScanRuns;
  const double entries =
      static_cast<double>(scanned.DDList().DirectoryCount() + scanned.DDList().FileCount());

  const TCatchUpRun chosen = CatchUp(drive, databasePath, states, VXD_SOURCE_AUTOMATIC);
  const TCatchUpRun inotify = CatchUp(drive, databasePath, states, VXD_SOURCE_INOTIFY);

  Report("catch_up_tree_entries", entries);
  Report("catch_up_changes", static_cast<double>(chosen.status.Changes));
  Report("catch_up_source", chosen.source);
  Report("catch_up_ms", chosen.ms);
  Report("catch_up_scan_ms", scanMs);
  Report("catch_up_vs_scan_ratio", chosen.ms / scanMs);
  Report("catch_up_equals_scan", chosen.equalsScan ? 1 : 0);
  Report("catch_up_cpu_ms", chosen.cpuMs);
  Report("catch_up_scan_cpu_ms", scanCpuMs);
  Report("catch_up_cpu_vs_scan_ratio", chosen.cpuMs / scanCpuMs);
  Report("catch_up_inotify_ms", inotify.ms);
  Report("catch_up_inotify_vs_scan_ratio", inotify.ms / scanMs);
  Report("catch_up_inotify_equals_scan", inotify.equalsScan ? 1 : 0);
  Report("catch_up_inotify_cpu_ms", inotify.cpuMs);
  return chosen.equalsScan && inotify.equalsScan ? 0 : 1;
}

}  // namespace
}  // namespace varnoke::bench

int main() {
  return varnoke::bench::Main();
}
