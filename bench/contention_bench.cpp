// The window's searches and row reads while the monitor applies about 2,000
// file changes a second and two processes keep both cores busy, against
// the same searches on a quiet machine, in the same run, on a tree of
// 1,070,000 names. Each figure is one search followed by the reads of the
// rows a grid shows (name and full path of 40 rows), as the window does
// after each keystroke.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_util.h"
#include "bench/null_services.h"
#include "bench/tree_fill.h"
#include "monitor/executive.h"
#include "tests/monitor/fake_device_codes.h"

namespace varnoke::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kDirectories = 107'000;
constexpr std::size_t kFiles = 963'000;
constexpr int kQueries = 200;
constexpr int kRowsOnView = 40;
constexpr int kChangesPerSecond = 2'000;

const char* const kPatterns[] = {"*.TXT", "*LOQU*", "A*.INI", "*.JPG", "*Q?X*"};

struct TLatencies {
  double p50 = 0;
  double p90 = 0;
  double p99 = 0;
  double max = 0;
  double lockWaitMax = 0;  // the longest wait for the database lock
};

TLatencies Measure(TMemoryDB& db) {
  std::vector<double> ms;
  double lockWaitMax = 0;
  for (int q = 0; q < kQueries; ++q) {
    const auto start = Clock::now();
    // The lock is taken first, as the search would, to tell a wait for it
    // from the search's own time.
    std::unique_lock lock(db.Lock);
    lockWaitMax = std::max(lockWaitMax,
                           std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    db.Search(kPatterns[q % std::size(kPatterns)]);
    std::size_t bytes = 0;
    for (int row = 0; row < std::min(kRowsOnView, db.ResultCount()); ++row)
      bytes += db.ResultName(row).size() + db.ResultFullPath(row).size();
    KeepValue(bytes);
    lock.unlock();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the next keystroke
  }
  std::sort(ms.begin(), ms.end());
  const auto at = [&](double q) { return ms[static_cast<std::size_t>(q * (ms.size() - 1))]; };
  return {at(0.5), at(0.9), at(0.99), ms.back(), lockWaitMax};
}

// A process that only spins until it is killed.
pid_t StartHog() {
  const pid_t pid = ::fork();
  if (pid == 0) {
    volatile unsigned long spin = 0;
    for (;;)
      spin = spin + 1;
  }
  return pid;
}

int Main() {
  TNullServices services;
  TMemoryDB db(services.Services());
  FillGenerated(db, kDirectories, kFiles);
  {
    std::lock_guard guard(db.Lock);
    db.DDList().PrepareLookups();  // as a load leaves the tree
  }

  const TLatencies quiet = Measure(db);

  auto control = platform::TDevice::CreateFile("\\\\.\\fake.vxd");
  if (control == nullptr) return 1;
  platform::TEvent stop(false, false);
  TExecutiveOptions options;
  options.DeviceName = "\\\\.\\fake.vxd";
  TExecutive executive(db, stop, options);
  if (!executive.WaitUntilRegistered()) return 1;

  // Creations and deletions of files in the top directories, paced.
  std::atomic<bool> done{false};
  std::thread changes([&] {
    TFakeReport report{};
    const auto begin = Clock::now();
    for (long i = 0; !done; ++i) {
      const long n = i % 2 == 0 ? i : i - 1;
      report.Code = i % 2 == 0 ? VXD_CODE_CREATE : VXD_CODE_DELETE;
      std::snprintf(report.Path, sizeof report.Path, "C:\\D%ld\\CHANGE%07ld.TXT", 1 + n % 20, n);
      control->DeviceIoControl(kFakeInject, &report, sizeof report, nullptr, 0, nullptr);
      std::this_thread::sleep_until(
          begin + std::chrono::microseconds(1'000'000 / kChangesPerSecond) * (i + 1));
    }
  });
  const pid_t hogs[2] = {StartHog(), StartHog()};
  const std::uint64_t appliedBefore = executive.ReportsApplied();
  const auto loadBegin = Clock::now();
  const TLatencies loaded = Measure(db);
  const double seconds = std::chrono::duration<double>(Clock::now() - loadBegin).count();
  const double applied = static_cast<double>(executive.ReportsApplied() - appliedBefore);
  for (const pid_t hog : hogs) {
    ::kill(hog, SIGKILL);
    ::waitpid(hog, nullptr, 0);
  }
  done = true;
  changes.join();

  Report("search_quiet_ms_p50", quiet.p50);
  Report("search_quiet_ms_p99", quiet.p99);
  Report("search_under_load_ms_p50", loaded.p50);
  Report("search_under_load_ms_p90", loaded.p90);
  Report("search_under_load_ms_p99", loaded.p99);
  Report("search_under_load_ms_max", loaded.max);
  Report("lock_wait_under_load_ms_max", loaded.lockWaitMax);
  Report("search_under_load_vs_quiet_p99_ratio", loaded.p99 / quiet.p99);
  Report("changes_applied_per_s", applied / seconds);
  return 0;
}

}  // namespace
}  // namespace varnoke::bench

int main() {
  return varnoke::bench::Main();
}
