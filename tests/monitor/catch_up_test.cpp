// The catch-up after a load, with the real device on a temporary drive:
// what changed on the disk while no program ran reaches the tree, which then
// holds what a fresh scan finds; changes made meanwhile are followed as
// ever; a stop or a call-off ends it, and the next start catches up.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <set>

#include "tests/monitor/live_monitor.h"

namespace varnoke {
namespace {

using TClock = std::chrono::steady_clock;

class CatchUpTest : public ::testing::TestWithParam<std::uint32_t> {
 protected:
  // Starts the monitor on the saved tree with the test's source, telling
  // waiters of the catch-up's progress; false where the source cannot be
  // had.
  bool StartAfterLoad(TExecutiveOptions options = {}) {
    options.Source = GetParam();
    if (live.StartAfterLoad(std::move(options))) return true;
    EXPECT_EQ(GetParam(), VXD_SOURCE_FANOTIFY) << "the device did not start";
    return false;
  }

  void Make(const std::string& relative) { live.model.Touch(Host(relative)); }
  void MakeFolder(const std::string& relative) { ::mkdir(Host(relative).c_str(), 0755); }
  std::string Host(const std::string& relative) const { return live.drive.Root() + "/" + relative; }

  TCatchUpStatus Status() { return live.executive->CatchUp().Status(); }

  testing::TLiveMonitor live{4242};
};

TEST_P(CatchUpTest, FindsWhatChangedBetweenRunsAndCountsEachChange) {
  for (const char* folder : {"keep", "gone", "gone/sub", "moved"})
    MakeFolder(folder);
  for (const char* file :
       {"keep/k.txt", "gone/g1.txt", "gone/sub/g2.txt", "old.txt", "stay.txt", "moved/m.txt"})
    Make(file);
  live.SaveARun();

  Make("new1.txt");
  Make("keep/new2.txt");
  std::remove(Host("old.txt").c_str());
  ASSERT_EQ(std::system(("rm -r '" + Host("gone") + "'").c_str()), 0);
  MakeFolder("fresh");
  Make("fresh/f.txt");
  ASSERT_EQ(std::rename(Host("moved").c_str(), Host("keep/moved").c_str()), 0);

  if (!StartAfterLoad()) GTEST_SKIP() << "fanotify needs CAP_SYS_ADMIN";
  live.CatchUp();
  live.ExpectSameAsAFreshScan();

  const TCatchUpStatus status = Status();
  EXPECT_TRUE(status.Ended);
  EXPECT_FALSE(status.Running);
  EXPECT_EQ(status.Folders, 4u);  // C:\, keep, keep\moved and fresh
  std::multiset<std::string> found;
  for (const TTreeChange& change : live.executive->CatchUp().TakeChanges())
    found.insert((change.Added ? "+" : "-") + change.Path);
  // A folder that went is one change; one that came is one, and so is
  // each file found in it.
  EXPECT_EQ(found, (std::multiset<std::string>{"+C:\\new1.txt", "+C:\\keep\\new2.txt",
                                               "-C:\\OLD.TXT", "-C:\\GONE\\", "+C:\\fresh\\",
                                               "+C:\\fresh\\f.txt", "-C:\\MOVED\\",
                                               "+C:\\keep\\moved\\", "+C:\\keep\\moved\\m.txt"}));
  EXPECT_EQ(status.Changes, found.size());
}

TEST_P(CatchUpTest, TheTreeEqualsAFreshScanAfterAnyChangesAndNamesThatDifferOnlyInCase) {
  live.model.Populate(150, 2500);
  MakeFolder("Docs");
  Make("Docs/x.txt");
  Make("same.txt");
  live.SaveARun();

  // Creations, deletions, renames and moves of files and folders, folders
  // moved out of the drive and in from outside it.
  live.Steps(1500);
  // Names that differ only in case: a twin of a folder with files of its
  // own, twin files, and a name whose case alone changed.
  MakeFolder("DOCS");
  Make("DOCS/y.txt");
  Make("a.txt");
  Make("A.TXT");
  ASSERT_EQ(std::rename(Host("same.txt").c_str(), Host("SAME.txt").c_str()), 0);

  if (!StartAfterLoad()) GTEST_SKIP() << "fanotify needs CAP_SYS_ADMIN";
  live.CatchUp();
  live.ExpectSameAsAFreshScan();
  EXPECT_TRUE(Status().Ended);
  EXPECT_GT(Status().Changes, 1000u);
}

TEST_P(CatchUpTest, ChangesMadeWhileItRunsAreFollowed) {
  live.model.Populate(300, 3000);
  live.SaveARun();
  live.Steps(800);
  if (!StartAfterLoad()) GTEST_SKIP() << "fanotify needs CAP_SYS_ADMIN";
  // The walk under way, and stalled for a while: what changes meanwhile
  // happens between its marks and its listings.
  live.Steps(300);
  live.PauseReading(true);
  live.Steps(1000);
  live.PauseReading(false);
  live.Steps(300);
  live.CatchUp();
  live.ExpectSameAsAFreshScan();
  EXPECT_TRUE(Status().Ended);
}

TEST_P(CatchUpTest, AStopInTheMiddleEndsPromptlyAndTheNextStartConverges) {
  live.model.Populate(600, 3000);
  live.SaveARun();
  live.Steps(1000);
  TExecutiveOptions options;
  TClock::time_point stopped{};
  options.OnCatchUp = [&](const TCatchUpStatus& status) {
    if (stopped == TClock::time_point{} && status.Folders >= 50) {
      stopped = TClock::now();
      live.stop.Set();
    }
  };
  if (!StartAfterLoad(std::move(options))) GTEST_SKIP() << "fanotify needs CAP_SYS_ADMIN";
  live.executive->WaitFor();
  const auto took = TClock::now() - stopped;
  // Prompt whatever the walk still had before it; the idle threads wait
  // for the processor on a busy machine, hence the margin.
  EXPECT_LT(took, std::chrono::seconds(5))
      << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
  EXPECT_FALSE(Status().Ended);
  live.Stop();

  // The next start loads the half caught-up tree and catches up again.
  ASSERT_TRUE(StartAfterLoad());
  live.CatchUp();
  live.ExpectSameAsAFreshScan();
  EXPECT_TRUE(Status().Ended);
}

TEST_P(CatchUpTest, CalledOffItLeavesTheRestAndTheDiskIsStillFollowed) {
  live.model.Populate(1500, 1000);
  live.SaveARun();
  live.Steps(1000);
  if (!StartAfterLoad()) GTEST_SKIP() << "fanotify needs CAP_SYS_ADMIN";
  // Called off as soon as it starts: the walk, at idle priority, has
  // listed little if anything by the time it hears of it.
  live.executive->CancelCatchUp();
  live.CatchUp();
  const TCatchUpStatus status = Status();
  EXPECT_TRUE(status.CalledOff);
  EXPECT_TRUE(status.Ended);  // the walk went on to follow the disk
  EXPECT_LT(status.Folders, 1000u);

  // What changes now reaches the tree, in a folder the walk did not compare
  // as in any other.
  MakeFolder("after");
  Make("after/late.txt");
  live.CatchUp();
  EXPECT_TRUE(live.TreeHolds("C:\\AFTER\\LATE.TXT"));

  live.Stop();
  ASSERT_TRUE(StartAfterLoad());
  live.CatchUp();
  live.ExpectSameAsAFreshScan();
}

TEST_P(CatchUpTest, AStartAfterAScanCatchesNothingUp) {
  TExecutiveOptions options;
  options.Source = GetParam();
  if (!live.Start(std::move(options))) {
    ASSERT_EQ(GetParam(), VXD_SOURCE_FANOTIFY);
    GTEST_SKIP() << "fanotify needs CAP_SYS_ADMIN";
  }
  live.Steps(200);
  live.CatchUp();
  const TCatchUpStatus status = Status();
  EXPECT_FALSE(status.Running);
  EXPECT_FALSE(status.Ended);
  EXPECT_EQ(status.Folders, 0u);
  live.ExpectSameAsAFreshScan();
}

INSTANTIATE_TEST_SUITE_P(Sources, CatchUpTest,
                         ::testing::Values(VXD_SOURCE_INOTIFY, VXD_SOURCE_FANOTIFY),
                         testing::SourceParamName);

}  // namespace
}  // namespace varnoke
