#include <gtest/gtest.h>

#include <thread>

#include "db/allocation_estimate.h"
#include "db/memory_db.h"
#include "db/terminate.h"
#include "tests/support/fake_drives.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/recording_observer.h"
#include "tests/support/test_host.h"
#include "tests/support/tree_dump.h"

namespace varnoke {
namespace {

using platform::TDiskSpace;
using platform::TDriveType;
using testing::DumpTree;
using Lines = std::vector<std::string>;

// Geometry with one-byte clusters, so that each entry counts exactly its
// size, and usedKB kilobytes in use.
TDiskSpace ExactSpace(std::uint64_t usedKB) {
  TDiskSpace space;
  space.BytesPerSector = 1;
  space.SectorsPerCluster = 1;
  space.TotalNumberOfClusters = usedKB * 1024 + 4096;
  space.NumberOfFreeClusters = 4096;
  return space;
}

class ScanTest : public ::testing::Test {
 protected:
  ScanTest() {
    drives.Set('C', TDriveType::Fixed);
    drives.SetSpace('C', ExactSpace(100));
  }

  bool Scan() { return db.ScanDrives("memdb.dat", observer); }

  testing::TTestHost host;
  testing::TFakeDrives& drives = host.drives;
  testing::TMemoryFileSystem& files = host.files;
  TMemoryDB db{host.Services()};
  testing::TRecordingObserver observer;
};

TEST_F(ScanTest, BuildsTheTreeInPreOrderWithFilesInReverseListingOrder) {
  files.AddDirectory("C:\\Program Files\\App");
  files.AddFile("C:\\a.txt");
  files.AddFile("C:\\Program Files\\App\\app.exe");
  files.AddFile("C:\\Windows\\win.ini");
  files.AddFile("C:\\Windows\\System\\vga.drv");
  files.AddFile("C:\\Windows\\system.ini");
  files.AddDirectory("C:\\z");
  files.AddFile("C:\\A.B");
  drives.Set('F', TDriveType::Fixed);
  files.AddFile("F:\\x");

  EXPECT_TRUE(Scan());
  EXPECT_EQ(DumpTree(db),
            (Lines{"C:\\ A.B A.TXT", "C:\\PROGRAM FILES\\", "C:\\PROGRAM FILES\\APP\\ APP.EXE",
                   "C:\\WINDOWS\\ SYSTEM.INI WIN.INI", "C:\\WINDOWS\\SYSTEM\\ VGA.DRV", "C:\\Z\\",
                   "F:\\ X"}));
  EXPECT_EQ(db.FileName(), "memdb.dat");
}

TEST_F(ScanTest, ListsThroughPathsSpelledAsTheDiskSpellsThem) {
  files.AddFile("C:\\Program Files\\App\\x.exe");
  std::vector<std::string> listed;
  files.OnList = [&](std::string_view path) { listed.emplace_back(path); };
  Scan();
  EXPECT_EQ(listed, (Lines{"C:\\", "C:\\Program Files\\", "C:\\Program Files\\App\\"}));
}

TEST_F(ScanTest, LeavesOutNamesStartingWithAFullStopAndAllBelowThem) {
  files.AddFile("C:\\.profile");
  files.AddFile("C:\\.cache\\deep\\x.txt");
  files.AddFile("C:\\keep\\.hidden");
  files.AddFile("C:\\keep\\shown.txt");
  std::vector<std::string> listed;
  files.OnList = [&](std::string_view path) { listed.emplace_back(path); };
  Scan();
  EXPECT_EQ(DumpTree(db), (Lines{"C:\\", "C:\\KEEP\\ SHOWN.TXT"}));
  EXPECT_EQ(listed, (Lines{"C:\\", "C:\\keep\\"}));
}

TEST_F(ScanTest, LeavesOutNamesHoldingABackslash) {
  files.AddFile("C:\\ok.txt");
  files.AddRawEntry("C:\\", "back\\slash.txt", false);
  files.AddRawEntry("C:\\", "back\\dir", true);
  Scan();
  EXPECT_EQ(DumpTree(db), Lines{"C:\\ OK.TXT"});
}

TEST_F(ScanTest, StoresNamesThatAreNotValidUtf8AsTheyAre) {
  files.AddFile("C:\\caf\xC3\xA9-\xFF.txt");
  Scan();
  EXPECT_EQ(DumpTree(db), Lines{"C:\\ CAF\xC3\x89-\xFF.TXT"});
}

TEST_F(ScanTest, CountsAndScansOnlyFixedDrives) {
  drives.Set('A', TDriveType::Removable);
  drives.Set('D', TDriveType::CdRom);
  drives.Set('E', TDriveType::Remote);
  drives.Set('G', TDriveType::RamDisk);
  for (const char letter : {'A', 'D', 'E', 'G'}) {
    drives.SetSpace(letter, ExactSpace(5000));
    files.AddFile(std::string{letter, ':', '\\', 'X'});
  }
  files.AddFile("C:\\Y");
  std::vector<std::string> listed;
  files.OnList = [&](std::string_view path) { listed.emplace_back(path); };
  Scan();
  EXPECT_EQ(listed, Lines{"C:\\"});
  EXPECT_EQ(DumpTree(db), Lines{"C:\\ Y"});
  EXPECT_FLOAT_EQ(db.ScanTotalKB, 101.0f);
}

TEST_F(ScanTest, WithoutFixedDrivesTheTreeStaysEmpty) {
  drives.Set('C', TDriveType::Removable);
  files.AddFile("C:\\X");
  EXPECT_TRUE(Scan());
  EXPECT_EQ(db.DDList().FirstDirectory(), nullptr);
  EXPECT_FLOAT_EQ(db.ScanTotalKB, 1.0f);
  EXPECT_TRUE(observer.positions.empty());
}

TEST_F(ScanTest, AnEmptyRootGivesItsRecordAlone) {
  files.AddDirectory("C:\\");
  Scan();
  EXPECT_EQ(DumpTree(db), Lines{"C:\\"});
}

TEST_F(ScanTest, ADirectoryThatCannotBeListedAddsNothingButItsRecord) {
  files.AddFile("C:\\locked\\secret.txt");
  files.AddFile("C:\\open\\x.txt");
  files.FailListing("C:\\locked");
  Scan();
  EXPECT_EQ(DumpTree(db), (Lines{"C:\\", "C:\\LOCKED\\", "C:\\OPEN\\ X.TXT"}));
  // Every directory moves the bar once, the unlisted one too.
  EXPECT_EQ(observer.positions.size(), 3u);
}

TEST_F(ScanTest, ReplacesTheTreeAndTheResultsOfTheLastSearch) {
  files.AddFile("C:\\one.txt");
  Scan();
  db.Search("*");
  EXPECT_EQ(db.ResultCount(), 1);
  files.AddFile("C:\\two.txt");
  Scan();
  EXPECT_EQ(db.ResultCount(), 0);
  EXPECT_EQ(DumpTree(db), Lines{"C:\\ TWO.TXT ONE.TXT"});
}

TEST_F(ScanTest, ProcessesMessagesBeforeEveryEntry) {
  files.AddFile("C:\\a");
  files.AddFile("C:\\d\\b");
  Scan();
  // C:\ lists ".", "..", "a", "d"; C:\d lists ".", "..", "b".
  EXPECT_EQ(observer.messageRounds, 7);
}

TEST_F(ScanTest, MovesTheBarInPostOrderAndTruncates) {
  // 2000 KB in use on the drive (1999 + the 1.0 the total starts from);
  // a file of 999 KB brings the bar to 49.95, shown as 49.
  drives.SetSpace('C', ExactSpace(1999));
  files.AddDirectory("C:\\empty");
  files.AddFile("C:\\sub\\big.bin", 999 * 1024);
  Scan();
  EXPECT_EQ(observer.positions, (std::vector<int>{0, 49, 49}));
}

TEST_F(ScanTest, DoesNotClampTheBar) {
  drives.SetSpace('C', ExactSpace(0));
  files.AddFile("C:\\big.bin", 10 * 1024);  // ten times the total of 1 KB
  Scan();
  EXPECT_EQ(observer.positions, std::vector<int>{1000});
}

TEST_F(ScanTest, AverageSizesStandInWhereTheDriveCountsItsEntries) {
  TDiskSpace space = ExactSpace(100);
  space.UsedEntries = 10;  // 10 KB per entry
  drives.SetSpace('C', space);
  for (int i = 0; i < 5; ++i)
    files.AddFile("C:\\f" + std::to_string(i), 1);
  Scan();
  EXPECT_FALSE(files.LastWithSizes());
  // Five of the ten entries: half of the 101 KB.
  EXPECT_EQ(observer.positions, std::vector<int>{49});
}

TEST_F(ScanTest, WithoutAnyGeometryYetEntriesCountTheirSize) {
  drives.SetSpace('C', TDiskSpace{});  // a cluster of 0 bytes
  files.AddFile("C:\\x", 1024);
  Scan();
  EXPECT_EQ(db.ScanClusterBytes, 0);
  // 1 KB of a total of 1 KB: no division by zero, no NaN.
  EXPECT_EQ(observer.positions, std::vector<int>{100});
}

TEST_F(ScanTest, ADriveWithoutGeometryIsScannedWithTheLastClusterSize) {
  drives.Set('D', TDriveType::Fixed);  // GetDiskFreeSpace fails for D
  files.AddFile("C:\\x");
  files.AddFile("D:\\y");
  db.ScanClusterBytes = 4096;  // from an earlier scan
  Scan();
  EXPECT_EQ(DumpTree(db), (Lines{"C:\\ X", "D:\\ Y"}));
  EXPECT_EQ(db.ScanClusterBytes, 1);        // C's, kept through D
  EXPECT_FLOAT_EQ(db.ScanTotalKB, 101.0f);  // D added nothing
}

TEST(AllocationEstimate, IsSizePlusClusterLessOneWithoutRounding) {
  EXPECT_FLOAT_EQ(AllocationEstimate(0, 4096), 4095.0f);
  EXPECT_FLOAT_EQ(AllocationEstimate(1, 4096), 4096.0f);
  EXPECT_FLOAT_EQ(AllocationEstimate(5000, 4096), 9095.0f);
  EXPECT_FLOAT_EQ(AllocationEstimate(5000, 0), 5000.0f);
}

TEST_F(ScanTest, CancellingStopsBeforeTheNextEntryWithTheLockReleased) {
  files.AddFile("C:\\a\\x", 1000);
  files.AddFile("C:\\b\\y", 1000);
  float doneBeforeCancel = -1;
  files.OnList = [&](std::string_view path) {
    if (path == "C:\\b\\") {
      doneBeforeCancel = db.ScanDoneKB;
      db.ScanCancelRequested = true;
    }
  };
  try {
    Scan();
    FAIL() << "the scan went on";
  } catch (const ETerminate& e) {
    EXPECT_STREQ(e.what(), "User Terminate");
  }
  EXPECT_FLOAT_EQ(db.ScanDoneKB, doneBeforeCancel);
  bool taken = false;
  std::thread other([&] {
    taken = db.Lock.try_lock();
    if (taken) db.Lock.unlock();
  });
  other.join();
  EXPECT_TRUE(taken);
}

TEST_F(ScanTest, HandlersThatRunDuringTheScanReenterTheLock) {
  files.AddFile("C:\\a\\x");
  files.AddFile("C:\\b\\y");
  std::vector<int> seen;
  bool otherThreadGotIn = false;
  observer.OnMessages = [&] {
    db.Search("*");  // same thread: re-enters
    seen.push_back(db.ResultCount());
    std::thread other([&] {
      if (db.Lock.try_lock()) {
        otherThreadGotIn = true;
        db.Lock.unlock();
      }
    });
    other.join();
  };
  Scan();
  EXPECT_FALSE(otherThreadGotIn);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), 0);
  EXPECT_EQ(seen.back(), 1);  // the partial tree held X by the last entry
}

// A handler that asks for another scan, a load or a save while the walk
// runs would free or save a half-built tree: each is refused, and the walk
// ends with the whole tree.
TEST_F(ScanTest, RefusesAScanLoadOrSaveFromAHandlerDuringTheWalk) {
  files.AddFile("C:\\a\\x");
  files.AddFile("C:\\b\\y");
  int handled = 0;
  observer.OnMessages = [&] {
    if (handled++ != 1) return;
    testing::TRecordingObserver inner;
    EXPECT_FALSE(db.ScanDrives("other.dat", inner));
    EXPECT_FALSE(db.LoadFromFile("other.dat"));
    EXPECT_EQ(db.LastFileReport().Outcome, TFileOutcome::Busy);
    EXPECT_FALSE(db.SaveToFile());
    EXPECT_EQ(db.LastFileReport().Outcome, TFileOutcome::Busy);
  };
  ASSERT_TRUE(Scan());
  EXPECT_GT(handled, 1);
  EXPECT_EQ(db.FileName(), "memdb.dat");
  EXPECT_EQ(DumpTree(db), (Lines{"C:\\", "C:\\A\\ X", "C:\\B\\ Y"}));
  EXPECT_TRUE(db.SavedByLastScan());
}

TEST_F(ScanTest, ACancelledScanLeavesTheDatabaseFreeForTheNext) {
  files.AddFile("C:\\a\\x");
  db.ScanCancelRequested = true;
  EXPECT_THROW(Scan(), ETerminate);
  db.ScanCancelRequested = false;
  EXPECT_TRUE(Scan());
  EXPECT_EQ(DumpTree(db), (Lines{"C:\\", "C:\\A\\ X"}));
}

TEST_F(ScanTest, ScansATreeTenThousandDirectoriesDeep) {
  std::string path = "C:";
  for (int i = 0; i < 10000; ++i)
    path += "\\d";
  files.AddFile(path + "\\leaf.txt");
  Scan();
  std::lock_guard guard(db.Lock);
  int depth = 0;
  const TDirectoryRecord* previous = nullptr;
  for (const TDirectoryRecord* d = db.DDList().FirstDirectory(); d != nullptr; d = d->Next()) {
    EXPECT_EQ(d->Parent(), previous);
    previous = d;
    ++depth;
  }
  EXPECT_EQ(depth, 10001);
  ASSERT_NE(previous->Files(), nullptr);
  EXPECT_STREQ(previous->Files()->Name(), "LEAF.TXT");
}

}  // namespace
}  // namespace varnoke
