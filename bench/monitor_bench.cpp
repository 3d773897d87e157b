// The monitor on a tree of 1,000,000 entries: reports applied per second
// through DeviceCallback, the latency from a file's creation to the tree
// holding it under a burst of 100,000 creations with the real device, and
// the processor the monitor takes while the disk is quiet, and how long a
// stop takes while a flood of reports is still queued.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_util.h"
#include "bench/disk_tree.h"
#include "bench/null_services.h"
#include "bench/tree_fill.h"
#include "monitor/executive.h"
#include "tests/monitor/fake_device_codes.h"
#include "tests/monitor/live_drive.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/recording_observer.h"

namespace varnoke::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kDirectories = 100'000;
constexpr std::size_t kFiles = 900'000;
constexpr int kInjected = 200'000;
constexpr int kBurst = 100'000;

// Counts applied reports and lets a thread wait for a number of them.
class TAppliedCounter {
 public:
  std::function<void()> Hook() {
    return [this] {
      const auto now = Clock::now();
      std::lock_guard guard(mutex_);
      if (times_.size() < times_.capacity()) times_.push_back(now);
      ++count_;
      if (count_ >= target_) reached_.notify_all();
    };
  }
  void Reserve(std::size_t n) { times_.reserve(n); }
  bool WaitFor(std::uint64_t target, std::chrono::seconds limit) {
    std::unique_lock lock(mutex_);
    target_ = target;
    return reached_.wait_for(lock, limit, [&] { return count_ >= target; });
  }
  std::vector<Clock::time_point> Times() {
    std::lock_guard guard(mutex_);
    return times_;
  }
  std::uint64_t Count() {
    std::lock_guard guard(mutex_);
    return count_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable reached_;
  std::uint64_t count_ = 0;
  std::uint64_t target_ = ~std::uint64_t{0};
  std::vector<Clock::time_point> times_;
};

double ApplyThroughput() {
  TNullServices services;
  TMemoryDB db(services.Services());
  FillGenerated(db, kDirectories, kFiles);

  auto control = platform::TDevice::CreateFile("\\\\.\\fake.vxd");
  if (control == nullptr) return 0;
  platform::TEvent stop(false, false);
  TAppliedCounter applied;
  TExecutiveOptions options;
  options.DeviceName = "\\\\.\\fake.vxd";
  options.AfterReport = applied.Hook();
  TExecutive executive(db, stop, options);
  if (!executive.WaitUntilRegistered()) return 0;

  const auto start = Clock::now();
  TFakeReport report{};
  for (int i = 0; i < kInjected; ++i) {
    // Creations of new names and deletions of the ones made before, mixed.
    const int n = i % 2 == 0 ? i : i - 1;
    report.Code = i % 2 == 0 ? VXD_CODE_CREATE : VXD_CODE_DELETE;
    std::snprintf(report.Path, sizeof report.Path, "C:\\D%d\\BENCH%07d.TXT", 1 + n % 20, n);
    control->DeviceIoControl(kFakeInject, &report, sizeof report, nullptr, 0, nullptr);
  }
  applied.WaitFor(kInjected, std::chrono::seconds(600));
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return kInjected / seconds;
}

// Shutting down while reports pour in: the time from setting the stop
// event, with most of a flood of injected reports still queued, to the
// monitor thread's end.
struct TStopFigures {
  double stopMs = 0;
  double queuedAtStop = 0;  // reports not yet applied when the stop was set
};

TStopFigures StopDuringFlood() {
  TNullServices services;
  TMemoryDB db(services.Services());
  FillGenerated(db, kDirectories / 10, kFiles / 10);

  auto control = platform::TDevice::CreateFile("\\\\.\\fake.vxd");
  if (control == nullptr) return {};
  platform::TEvent stop(false, false);
  TAppliedCounter applied;
  TExecutiveOptions options;
  options.DeviceName = "\\\\.\\fake.vxd";
  options.AfterReport = applied.Hook();
  TExecutive executive(db, stop, options);
  if (!executive.WaitUntilRegistered()) return {};
  TFakeReport report{};
  report.Code = VXD_CODE_CREATE;
  for (int i = 0; i < kInjected; ++i) {
    std::snprintf(report.Path, sizeof report.Path, "C:\\D%d\\FLOOD%07d.TXT", 1 + i % 20, i);
    control->DeviceIoControl(kFakeInject, &report, sizeof report, nullptr, 0, nullptr);
  }
  applied.WaitFor(1000, std::chrono::seconds(60));
  const auto start = Clock::now();
  const std::uint64_t appliedAtStop = applied.Count();
  stop.Set();
  executive.WaitFor();
  TStopFigures figures;
  figures.stopMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  figures.queuedAtStop = static_cast<double>(kInjected) - static_cast<double>(appliedAtStop);
  return figures;
}

struct TBurstFigures {
  double p50Ms = 0;
  double p99Ms = 0;
  double lost = 0;
  double idleCpuPercent = 0;
  double source = 0;
};

TBurstFigures Burst(const TDiskTree& tree, std::uint32_t requested, bool measureIdle) {
  TBurstFigures figures;
  testing::TLiveDrive drive;
  // Drive C: of the live configuration is the generated tree.
  const std::string link = platform::DriveLinkFolder() + "/c:";
  ::unlink(link.c_str());
  if (::symlink(tree.root.c_str(), link.c_str()) != 0) return figures;
  TMemoryDB db(drive.Services());
  testing::TRecordingObserver observer;
  db.ScanDrives(drive.DatabasePath(), observer);

  platform::TEvent stop(false, false);
  TAppliedCounter applied;
  applied.Reserve(kBurst + 16);
  TExecutiveOptions options;
  options.Source = requested;
  options.AfterReport = applied.Hook();
  TExecutive executive(db, stop, options);
  if (!executive.WaitUntilRegistered()) return figures;
  std::uint32_t source = 0;
  executive.DeviceControl(VXD_IOCTL_QUERY_SOURCE, nullptr, 0, &source, sizeof source);
  figures.source = source;

  // Quiet: what the monitor and the device take while nothing happens.
  if (measureIdle) {
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    std::this_thread::sleep_for(std::chrono::seconds(10));
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    const auto cpu = [](const rusage& u) {
      return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
             static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    figures.idleCpuPercent = (cpu(after) - cpu(before)) / 10.0 * 100.0;
  }

  // The burst: a new directory, then its files, as fast as they can be made.
  // The directory's own listing done, each file is then one report.
  const std::string directory = tree.root + "/burst";
  ::mkdir(directory.c_str(), 0755);
  const std::uint32_t settleMs = 60000;
  std::uint32_t pending = 0;
  executive.DeviceControl(VXD_IOCTL_WAIT_SETTLED, &settleMs, sizeof settleMs, &pending,
                          sizeof pending);
  const std::uint64_t base = applied.Count() - 1;
  std::vector<Clock::time_point> made;
  made.reserve(kBurst);
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < kBurst; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "burst%06d.dat", i);
    made.push_back(Clock::now());
    ::close(::openat(fd, name, O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
  }
  applied.WaitFor(base + 1 + kBurst, std::chrono::seconds(600));
  executive.DeviceControl(VXD_IOCTL_WAIT_SETTLED, &settleMs, sizeof settleMs, &pending,
                          sizeof pending);
  const std::vector<Clock::time_point> times = applied.Times();
  std::vector<double> latencies;
  for (int i = 0; i < kBurst && base + 1 + i < times.size(); ++i) {
    latencies.push_back(
        std::chrono::duration<double, std::milli>(times[base + 1 + i] - made[i]).count());
  }
  std::sort(latencies.begin(), latencies.end());
  if (!latencies.empty()) {
    figures.p50Ms = latencies[latencies.size() / 2];
    figures.p99Ms = latencies[latencies.size() * 99 / 100];
  }
  {
    std::lock_guard guard(db.Lock);
    const TResolvedPath resolved = db.ResolvePath("C:\\BURST\\X");
    std::size_t held = 0;
    for (const TFileEntry* e = resolved.Directory ? resolved.Directory->Files() : nullptr;
         e != nullptr; e = e->Next()) {
      ++held;
    }
    figures.lost = static_cast<double>(kBurst) - static_cast<double>(held);
  }
  // Leave the tree as it was for the other benchmarks.
  for (int i = 0; i < kBurst; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "burst%06d.dat", i);
    ::unlinkat(fd, name, 0);
  }
  ::close(fd);
  ::rmdir(directory.c_str());
  return figures;
}

int Main() {
  const char* base = std::getenv("VARNOKE_BENCH_DIR");
  const std::string folder = base != nullptr ? base : "/tmp/varnoke-bench";
  const TDiskTree tree = EnsureDiskTree(folder + "/scan", kDirectories, kFiles);

  const double perSecond = ApplyThroughput();
  Report("apply_reports_per_s", perSecond);
  // Against the time the reports still queued would take to apply: a stop
  // that waited for the queue to drain would come out near 1.
  const TStopFigures stop = StopDuringFlood();
  Report("stop_during_flood_ms", stop.stopMs);
  Report("stop_reports_queued", stop.queuedAtStop);
  const double drainMs = perSecond > 0 ? stop.queuedAtStop / perSecond * 1000.0 : 0;
  Report("stop_vs_drain_ratio", drainMs > 0 ? stop.stopMs / drainMs : 0);
  // The source the device picks by itself (fanotify where privileged), then
  // inotify, which everybody else gets.
  const TBurstFigures burst = Burst(tree, VXD_SOURCE_AUTOMATIC, true);
  Report("monitor_source", burst.source);  // 1 inotify, 2 fanotify
  Report("report_latency_p50_ms", burst.p50Ms);
  Report("report_latency_p99_ms", burst.p99Ms);
  Report("burst_reports_lost", burst.lost);
  Report("monitor_idle_cpu_percent", burst.idleCpuPercent);
  if (burst.source != VXD_SOURCE_INOTIFY) {
    const TBurstFigures inotify = Burst(tree, VXD_SOURCE_INOTIFY, false);
    Report("inotify_report_latency_p50_ms", inotify.p50Ms);
    Report("inotify_report_latency_p99_ms", inotify.p99Ms);
    Report("inotify_burst_reports_lost", inotify.lost);
  }
  return 0;
}

}  // namespace
}  // namespace varnoke::bench

int main() {
  return varnoke::bench::Main();
}
