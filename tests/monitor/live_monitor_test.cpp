// The real device on a temporary drive: after any mix of changes, once the
// device has caught up, the tree holds what a fresh scan finds.
#include <gtest/gtest.h>

#include <set>

#include "db/memory_db.h"
#include "monitor/executive.h"
#include "tests/monitor/disk_model.h"
#include "tests/monitor/live_drive.h"
#include "tests/support/recording_observer.h"

namespace varnoke {
namespace {

std::set<std::string> Paths(TMemoryDB& db) {
  std::lock_guard guard(db.Lock);
  std::set<std::string> paths;
  for (const TDirectoryRecord* d = db.DDList().FirstDirectory(); d != nullptr; d = d->Next()) {
    paths.insert(db.DirectoryPath(d));
    for (const TFileEntry* e = d->Files(); e != nullptr; e = e->Next()) {
      paths.insert(db.DirectoryPath(d) + e->Name());
    }
  }
  return paths;
}

class LiveMonitorTest : public ::testing::TestWithParam<std::uint32_t> {
 protected:
  void SetUp() override {
    model.Populate(150, 2500);
    testing::TRecordingObserver observer;
    ASSERT_TRUE(db.ScanDrives(drive.DatabasePath(), observer));
    TExecutiveOptions options;
    options.Source = GetParam();
    executive = std::make_unique<TExecutive>(db, stop, options);
    if (!executive->WaitUntilRegistered()) {
      if (GetParam() == VXD_SOURCE_FANOTIFY) GTEST_SKIP() << "fanotify needs CAP_SYS_ADMIN";
      FAIL() << "the device did not start";
    }
    std::uint32_t source = 0;
    ASSERT_TRUE(
        executive->DeviceControl(VXD_IOCTL_QUERY_SOURCE, nullptr, 0, &source, sizeof source));
    ASSERT_EQ(source, GetParam());
  }

  // Waits until the device has read every change made so far, made every
  // listing it asked for, and the monitor has applied every report.
  void CatchUp() {
    const std::uint32_t timeoutMs = 300000;
    std::uint32_t pending = 1;
    ASSERT_TRUE(executive->DeviceControl(VXD_IOCTL_WAIT_SETTLED, &timeoutMs, sizeof timeoutMs,
                                         &pending, sizeof pending));
    ASSERT_EQ(pending, 0u) << "the device did not settle";
  }

  void ExpectSameAsAFreshScan() {
    TMemoryDB fresh(drive.Services());
    testing::TRecordingObserver observer;
    fresh.ScanDrives(drive.DatabasePath() + ".fresh", observer);
    const std::set<std::string> expected = Paths(fresh);
    const std::set<std::string> actual = Paths(db);
    std::vector<std::string> missing;
    std::vector<std::string> extra;
    std::set_difference(expected.begin(), expected.end(), actual.begin(), actual.end(),
                        std::back_inserter(missing));
    std::set_difference(actual.begin(), actual.end(), expected.begin(), expected.end(),
                        std::back_inserter(extra));
    EXPECT_TRUE(missing.empty()) << missing.size() << " missing: " << FirstFew(missing);
    EXPECT_TRUE(extra.empty()) << extra.size() << " extra: " << FirstFew(extra);
  }

  static std::string FirstFew(const std::vector<std::string>& paths) {
    std::string text;
    for (std::size_t i = 0; i < paths.size() && i < 5; ++i)
      text += "\n  " + paths[i];
    return text;
  }

  testing::TLiveDrive drive;
  testing::TDiskModel model{drive.Root(), drive.Outside(), 2026};
  TMemoryDB db{drive.Services()};
  platform::TEvent stop{false, false};
  // Last: it goes first, so that no report arrives at what went before.
  std::unique_ptr<TExecutive> executive;
};

TEST_P(LiveMonitorTest, StaysTheSameAsAFreshScanThroughRandomChanges) {
  for (int i = 0; i < 5000; ++i)
    model.Step();
  CatchUp();
  ExpectSameAsAFreshScan();
  EXPECT_EQ(executive->Failure(), nullptr);
}

// inotify keeps a bounded queue: a reader that stalls loses events and is
// told so, and resynchronises. (fanotify's queue is unbounded: it never
// loses events, so there is nothing to resynchronise from.)
using LiveInotifyTest = LiveMonitorTest;

TEST_P(LiveInotifyTest, CatchesUpAfterAStalledReaderLostEvents) {
  const std::uint32_t pause = 1;
  ASSERT_TRUE(executive->DeviceControl(VXD_IOCTL_PAUSE_READING, &pause, sizeof pause));
  model.Churn(12000);  // more events than the kernel keeps for inotify
  for (int i = 0; i < 1500; ++i)
    model.Step();
  const std::uint32_t resume = 0;
  ASSERT_TRUE(executive->DeviceControl(VXD_IOCTL_PAUSE_READING, &resume, sizeof resume));
  CatchUp();
  ExpectSameAsAFreshScan();
}

std::string SourceName(const ::testing::TestParamInfo<std::uint32_t>& info) {
  return info.param == VXD_SOURCE_INOTIFY ? "Inotify" : "Fanotify";
}

INSTANTIATE_TEST_SUITE_P(Sources, LiveMonitorTest,
                         ::testing::Values(VXD_SOURCE_INOTIFY, VXD_SOURCE_FANOTIFY), SourceName);
INSTANTIATE_TEST_SUITE_P(Sources, LiveInotifyTest, ::testing::Values(VXD_SOURCE_INOTIFY),
                         SourceName);

}  // namespace
}  // namespace varnoke
