// The real device on a temporary drive: after any mix of changes, once the
// device has caught up, the tree holds what a fresh scan finds.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "tests/monitor/live_monitor.h"

namespace varnoke {
namespace {

class LiveMonitorTest : public ::testing::TestWithParam<std::uint32_t> {
 protected:
  // Starts the monitor with the test's source; skips where it cannot be had.
  bool Start(TExecutiveOptions options = {}) {
    options.Source = GetParam();
    if (live.Start(std::move(options))) return true;
    EXPECT_EQ(GetParam(), VXD_SOURCE_FANOTIFY) << "the device did not start";
    return false;
  }

  // What the monitor thread's callbacks use: they outlive the monitor,
  // which goes first with live.
  std::atomic<int> told{0};
  std::atomic<std::uint32_t> toldCount{0};
  std::mutex mutex;
  std::condition_variable applied;
  testing::TLiveMonitor live{2026};
};

TEST_P(LiveMonitorTest, StaysTheSameAsAFreshScanThroughRandomChanges) {
  if (!Start()) GTEST_SKIP() << "fanotify needs CAP_SYS_ADMIN";
  live.Steps(5000);
  live.CatchUp();
  live.ExpectSameAsAFreshScan();
}

// inotify keeps a bounded queue: a reader that stalls loses events and is
// told so, and lists everything again. (fanotify's queue is unbounded: it
// never loses events, so there is nothing to list again.)
using LiveInotifyTest = LiveMonitorTest;

TEST_P(LiveInotifyTest, CatchesUpAfterAStalledReaderLostEvents) {
  ASSERT_TRUE(Start());
  live.PauseReading(true);
  live.model.Churn(12000);  // more events than the kernel keeps for inotify
  live.Steps(1500);
  live.PauseReading(false);
  live.CatchUp();
  live.ExpectSameAsAFreshScan();
}

// Out of inotify watches: the directories without one are counted, the
// monitor says so once, and they are listed again on a timer, so that what
// changes in them still reaches the tree.
TEST_P(LiveInotifyTest, DirectoriesWithoutAWatchAreCountedAndListedAgain) {
  TExecutiveOptions options;
  options.WatchLimit = 10;
  options.RelistPeriodMs = 50;
  options.OnUnwatched = [&](std::uint32_t count) {
    ++told;
    toldCount = count;
  };
  options.AfterReport = [&] {
    std::lock_guard guard(mutex);
    applied.notify_all();
  };
  ASSERT_TRUE(Start(std::move(options)));
  std::uint32_t unwatched = 0;
  ASSERT_TRUE(live.executive->DeviceControl(VXD_IOCTL_QUERY_UNWATCHED, nullptr, 0, &unwatched,
                                            sizeof unwatched));
  EXPECT_GT(unwatched, 100u);  // 150 directories and more, 10 watches
  EXPECT_EQ(told, 1);
  EXPECT_EQ(toldCount, unwatched);

  // A file made in a directory the start walked last (so without a watch)
  // reaches the tree by the timer alone.
  std::string last;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(live.drive.Root())) {
    if (entry.is_directory()) last = entry.path();
  }
  ASSERT_FALSE(last.empty());
  live.model.Touch(last + "/unwatched-probe.txt");
  std::string drivePath = "C:" + last.substr(live.drive.Root().size()) + "/UNWATCHED-PROBE.TXT";
  for (char& c : drivePath) {
    if (c == '/') c = '\\';
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  const auto inTree = [&] { return live.TreeHolds(drivePath); };
  std::unique_lock lock(mutex);
  EXPECT_TRUE(applied.wait_for(lock, std::chrono::seconds(60), inTree))
      << drivePath << " never reached the tree";
  lock.unlock();

  live.Steps(3000);
  live.CatchUp();
  live.ExpectSameAsAFreshScan();
  EXPECT_EQ(told, 1);
}

INSTANTIATE_TEST_SUITE_P(Sources, LiveMonitorTest,
                         ::testing::Values(VXD_SOURCE_INOTIFY, VXD_SOURCE_FANOTIFY),
                         testing::SourceParamName);
INSTANTIATE_TEST_SUITE_P(Sources, LiveInotifyTest, ::testing::Values(VXD_SOURCE_INOTIFY),
                         testing::SourceParamName);

}  // namespace
}  // namespace varnoke
