// The real device and monitor on a temporary drive filled with random
// directories and files: the set-up of the live and stress tests, with the
// verbs they share (catch up, compare with a fresh scan).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "db/memory_db.h"
#include "monitor/executive.h"
#include "tests/monitor/disk_model.h"
#include "tests/monitor/live_drive.h"
#include "tests/support/recording_observer.h"

namespace varnoke::testing {

// Every directory and file of the tree by its path; names that differ only
// in case on the disk are as many entries here as in the tree.
inline std::multiset<std::string> TreePaths(TMemoryDB& db) {
  std::lock_guard guard(db.Lock);
  std::multiset<std::string> paths;
  for (const TDirectoryRecord* d = db.DDList().FirstDirectory(); d != nullptr; d = d->Next()) {
    paths.insert(db.DirectoryPath(d));
    for (const TFileEntry* e = d->Files(); e != nullptr; e = e->Next()) {
      paths.insert(db.DirectoryPath(d) + e->Name());
    }
  }
  return paths;
}

class TLiveMonitor {
 public:
  explicit TLiveMonitor(std::uint32_t seed) : model(drive.Root(), drive.Outside(), seed) {}
  ~TLiveMonitor() { executive.reset(); }  // no report arrives at what goes first

  // Fills the drive, scans it and starts the monitor. False when the
  // source cannot be had here (fanotify needs CAP_SYS_ADMIN).
  bool Start(TExecutiveOptions options) {
    model.Populate(150, 2500);
    testing::TRecordingObserver observer;
    EXPECT_TRUE(db.ScanDrives(drive.DatabasePath(), observer));
    return StartMonitor(std::move(options));
  }

  // A run that ended cleanly: the drive scanned and its tree saved.
  void SaveARun() {
    TMemoryDB previous(drive.Services());
    testing::TRecordingObserver observer;
    EXPECT_TRUE(previous.ScanDrives(drive.DatabasePath(), observer));
  }

  // The start that follows: the saved tree loaded, and the monitor started
  // with the catch-up a load asks for. False as for Start.
  bool StartAfterLoad(TExecutiveOptions options) {
    EXPECT_TRUE(db.LoadFromFile(drive.DatabasePath()));
    options.CatchUp = true;
    return StartMonitor(std::move(options));
  }

  // Stops the monitor, as the program does at its end, and saves the tree.
  void Stop() {
    executive.reset();
    // Set by the stop, also when the thread had ended already: the next
    // monitor must not find it set.
    stop.Reset();
    EXPECT_TRUE(db.SaveToFile());
  }

  bool StartMonitor(TExecutiveOptions options) {
    const std::uint32_t wanted = options.Source;
    executive = std::make_unique<TExecutive>(db, stop, std::move(options));
    if (!executive->WaitUntilRegistered()) return false;
    std::uint32_t source = 0;
    EXPECT_TRUE(
        executive->DeviceControl(VXD_IOCTL_QUERY_SOURCE, nullptr, 0, &source, sizeof source));
    EXPECT_EQ(source, wanted);
    return true;
  }

  void Steps(int count) {
    for (int i = 0; i < count; ++i)
      model.Step();
  }

  // Stops or resumes the device's reading of the kernel's events.
  void PauseReading(bool pause) {
    const std::uint32_t value = pause ? 1 : 0;
    EXPECT_TRUE(executive->DeviceControl(VXD_IOCTL_PAUSE_READING, &value, sizeof value));
  }

  // Waits until the device has read every change made so far, made every
  // listing it asked for, and the monitor has applied every report.
  void CatchUp() {
    const std::uint32_t timeoutMs = 600000;
    std::uint32_t pending = 1;
    ASSERT_TRUE(executive->DeviceControl(VXD_IOCTL_WAIT_SETTLED, &timeoutMs, sizeof timeoutMs,
                                         &pending, sizeof pending));
    ASSERT_EQ(pending, 0u) << "the device did not settle";
  }

  // True when the tree holds the file at the drive-form path.
  bool TreeHolds(const std::string& path) {
    std::lock_guard guard(db.Lock);
    const TResolvedPath resolved = db.ResolvePath(path);
    if (resolved.Directory == nullptr) return false;
    for (const TFileEntry* e = resolved.Directory->Files(); e != nullptr; e = e->Next()) {
      if (resolved.Name == e->Name()) return true;
    }
    return false;
  }

  void ExpectSameAsAFreshScan() {
    TMemoryDB fresh(drive.Services());
    testing::TRecordingObserver observer;
    fresh.ScanDrives(drive.DatabasePath() + ".fresh", observer);
    const std::multiset<std::string> expected = TreePaths(fresh);
    const std::multiset<std::string> actual = TreePaths(db);
    std::vector<std::string> missing;
    std::vector<std::string> extra;
    std::set_difference(expected.begin(), expected.end(), actual.begin(), actual.end(),
                        std::back_inserter(missing));
    std::set_difference(actual.begin(), actual.end(), expected.begin(), expected.end(),
                        std::back_inserter(extra));
    EXPECT_TRUE(missing.empty()) << missing.size() << " missing:" << FirstFew(missing);
    EXPECT_TRUE(extra.empty()) << extra.size() << " extra:" << FirstFew(extra);
    EXPECT_EQ(executive->Failure(), nullptr);
  }

  TLiveDrive drive;
  TDiskModel model;
  TMemoryDB db{drive.Services()};
  platform::TEvent stop{false, false};
  std::unique_ptr<TExecutive> executive;

 private:
  static std::string FirstFew(const std::vector<std::string>& paths) {
    std::string text;
    for (std::size_t i = 0; i < paths.size() && i < 5; ++i)
      text += "\n  " + paths[i];
    return text;
  }
};

inline std::string SourceName(std::uint32_t source) {
  return source == VXD_SOURCE_INOTIFY ? "Inotify" : "Fanotify";
}

// Names the tests of a suite run once for each source.
inline std::string SourceParamName(const ::testing::TestParamInfo<std::uint32_t>& info) {
  return SourceName(info.param);
}

}  // namespace varnoke::testing
