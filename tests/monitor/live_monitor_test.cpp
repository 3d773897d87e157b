// The real device on a temporary drive: after any mix of changes, once the
// device has caught up, the tree holds what a fresh scan finds.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
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
    options.AfterReport = [this] {
      std::lock_guard guard(mutex);
      ++reports;
      changed.notify_all();
    };
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

  // Makes a marker file and waits until its report is applied: the kernel
  // delivers events in order, so everything before it has been applied too.
  // Twice: a resynchronisation that lists the root may report the first
  // marker before it has finished; the second then comes after it.
  void CatchUp() {
    WaitForMarker();
    WaitForMarker();
  }

  void WaitForMarker() {
    const std::string name = "zz-marker-" + std::to_string(++markers);
    model.Touch(drive.Root() + "/" + name);
    const std::string path = "C:\\" + platform_upper(name);
    std::unique_lock lock(mutex);
    const bool arrived = changed.wait_for(lock, std::chrono::seconds(180), [&] {
      std::lock_guard guard(db.Lock);
      const TResolvedPath resolved = db.ResolvePath(path);
      if (resolved.Directory == nullptr) return false;
      for (const TFileEntry* e = resolved.Directory->Files(); e != nullptr; e = e->Next()) {
        if (resolved.Name == e->Name()) return true;
      }
      return false;
    });
    ASSERT_TRUE(arrived) << "the marker's report never came";
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
    EXPECT_TRUE(missing.empty()) << missing.size() << " missing, e.g. " << missing.front();
    EXPECT_TRUE(extra.empty()) << extra.size() << " extra, e.g. " << extra.front();
  }

  static std::string platform_upper(std::string text) {
    for (char& c : text)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
  }

  testing::TLiveDrive drive;
  testing::TDiskModel model{drive.Root(), drive.Outside(), 2026};
  TMemoryDB db{drive.Services()};
  platform::TEvent stop{false, false};
    std::mutex mutex;
  std::condition_variable changed;
  std::uint64_t reports = 0;
  int markers = 0;
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
