// Change reports about names that differ only in case, on real directories
// of a temporary drive: the disk keeps "a.txt" and "A.TXT" side by side,
// the tree holds both as A.TXT.
#include <dirent.h>
#include <stdio.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "db/memory_db.h"
#include "tests/support/recording_observer.h"
#include "tests/support/temp_drive.h"
#include "tests/support/tree_builder.h"

namespace varnoke {
namespace {

using Lines = std::vector<std::string>;
constexpr std::uint32_t kDirectory = 0x10;

class TwinChangesTest : public ::testing::Test {
 protected:
  void Scan() { ASSERT_TRUE(db.ScanDrives(drive.DatabasePath(), observer)); }

  // The tree, one line per directory record: its path, then its files in
  // name order; the lines in order too, so that the disk's listing order
  // does not matter.
  Lines Tree() {
    std::lock_guard guard(db.Lock);
    Lines lines;
    for (const TDirectoryRecord* d = db.DDList().FirstDirectory(); d != nullptr; d = d->Next()) {
      Lines files;
      for (const TFileEntry* e = d->Files(); e != nullptr; e = e->Next())
        files.emplace_back(e->Name());
      std::sort(files.begin(), files.end());
      std::string line = db.DirectoryPath(d);
      for (const std::string& file : files)
        line += ' ' + file;
      lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
  }

  // The drive-form path of a path below the drive's root ("d/a.txt"), as
  // the device reports it: spelled as on the disk.
  static std::string C(const std::string& relative) {
    std::string path = "C:\\" + relative;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
  }
  void Unlink(const std::string& relative) {
    ASSERT_EQ(::unlink(drive.Host(relative).c_str()), 0) << relative;
  }
  void Rmdir(const std::string& relative) {
    ASSERT_EQ(::rmdir(drive.Host(relative).c_str()), 0) << relative;
  }
  void Rename(const std::string& from, const std::string& to) {
    ASSERT_EQ(::rename(drive.Host(from).c_str(), drive.Host(to).c_str()), 0) << from;
  }

  // The names in the directory in the order the disk lists them.
  Lines Listing(const std::string& relative) {
    Lines names;
    DIR* dir = ::opendir(drive.Host(relative).c_str());
    for (dirent* e; dir != nullptr && (e = ::readdir(dir)) != nullptr;) {
      if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    }
    if (dir != nullptr) ::closedir(dir);
    return names;
  }

  // Of the spellings of DOCS not yet in the directory, one that the disk
  // lists before another: a twin made so does not come last. make puts it
  // in place, unmake takes it away again.
  std::string SpellingListedEarly(const std::string& relative,
                                  const std::function<void(const std::string&)>& make,
                                  const std::function<void(const std::string&)>& unmake) {
    for (const char* spelling : {"docs", "dOCS", "DoCs", "dOcS", "DOcs", "doCS", "DocS", "dOCs",
                                 "DOcS", "dOcs", "DOCs", "DoCS"}) {
      const Lines before = Listing(relative);
      if (std::find(before.begin(), before.end(), spelling) != before.end()) continue;
      make(spelling);
      const Lines after = Listing(relative);
      if (after.back() != spelling) return spelling;
      unmake(spelling);
    }
    return {};
  }

  testing::TTempDrive drive;
  TMemoryDB db{drive.Services()};
  testing::TRecordingObserver observer;
};

TEST_F(TwinChangesTest, DeletingOneTwinFileLeavesTheOther) {
  drive.MakeFile("d/a.txt");
  drive.MakeFile("d/A.TXT");
  drive.MakeFile("d/other");
  Scan();
  ASSERT_EQ(Tree(), (Lines{"C:\\", "C:\\D\\ A.TXT A.TXT OTHER"}));
  Unlink("d/a.txt");
  db.ApplyDelete(C("d/a.txt"));
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\D\\ A.TXT OTHER"}));
  Unlink("d/A.TXT");
  db.ApplyDelete(C("d/A.TXT"));
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\D\\ OTHER"}));
}

TEST_F(TwinChangesTest, ATwinCreatedBesideItsNameIsAddedAndTheCountHoldsThroughDeletions) {
  drive.MakeFile("d/b.txt");
  Scan();
  drive.MakeFile("d/B.txt");
  db.ApplyFileCreate(C("d/B.txt"));
  db.ApplyFileCreate(C("d/B.txt"));  // reported twice, still one file
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\D\\ B.TXT B.TXT"}));
  Unlink("d/b.txt");
  db.ApplyDelete(C("d/b.txt"));
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\D\\ B.TXT"}));
  Unlink("d/B.txt");
  db.ApplyDelete(C("d/B.txt"));
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\D\\"}));
}

TEST_F(TwinChangesTest, LateReportsCountWhatTheDiskHoldsOnlyOnce) {
  // The device is late: by the time a report is applied the disk holds
  // what the reports after it describe.
  drive.MakeFile("d/b.txt");
  drive.MakeFile("d/ab");
  drive.MakeFile("d/AB");
  drive.MakeFile("d/Ab");
  Scan();
  drive.MakeFile("d/B.txt");
  Unlink("d/b.txt");
  Unlink("d/ab");
  Unlink("d/AB");
  db.ApplyFileCreate(C("d/B.txt"));  // finds one B.TXT on the disk: adds none
  db.ApplyDelete(C("d/b.txt"));      // and so must remove none
  db.ApplyDelete(C("d/ab"));         // leaves one AB for the disk's Ab
  db.ApplyDelete(C("d/AB"));         // already counted
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\D\\ AB B.TXT"}));
}

TEST_F(TwinChangesTest, RemovingAnEmptyTwinDirectoryKeepsTheFullOne) {
  // The full one is "Docs" in p1 and "DOCS" in p2, made in the same order:
  // whichever the disk lists first, one removal meets the full record
  // first.
  drive.MakeFile("p1/Docs/a.txt");
  drive.MakeDirectory("p1/DOCS");
  drive.MakeDirectory("p2/Docs");
  drive.MakeFile("p2/DOCS/a.txt");
  Scan();
  Rmdir("p1/DOCS");
  db.ApplyDirectoryRemove(C("p1/DOCS"));
  Rmdir("p2/Docs");
  db.ApplyDirectoryRemove(C("p2/Docs"));
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\P1\\", "C:\\P1\\DOCS\\ A.TXT", "C:\\P2\\",
                           "C:\\P2\\DOCS\\ A.TXT"}));
}

TEST_F(TwinChangesTest, ARemovedTwinDirectoryIsToldFromTheOtherByItsContents) {
  for (const char* parent : {"p1", "p2"}) {
    drive.MakeFile(std::string(parent) + "/Docs/a.txt");
    drive.MakeFile(std::string(parent) + "/DOCS/b.txt");
  }
  Scan();
  // The deletions of the files were never reported: neither record is empty.
  Unlink("p1/DOCS/b.txt");
  Rmdir("p1/DOCS");
  db.ApplyDirectoryRemove(C("p1/DOCS"));
  Unlink("p2/Docs/a.txt");
  Rmdir("p2/Docs");
  db.ApplyDirectoryRemove(C("p2/Docs"));
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\P1\\", "C:\\P1\\DOCS\\ A.TXT", "C:\\P2\\",
                           "C:\\P2\\DOCS\\ B.TXT"}));
}

TEST_F(TwinChangesTest, RenamingOneTwinDirectoryMovesItsOwnRecord) {
  for (const char* parent : {"p1", "p2"}) {
    drive.MakeFile(std::string(parent) + "/Docs/a.txt");
    drive.MakeFile(std::string(parent) + "/DOCS/b.txt");
  }
  Scan();
  db.Search("B.TXT");
  Rename("p1/DOCS", "p1/Papers");
  db.ApplyRename(C("p1/DOCS"), C("p1/Papers"), kDirectory);
  Rename("p2/Docs", "p2/Papers");
  db.ApplyRename(C("p2/Docs"), C("p2/Papers"), kDirectory);
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\P1\\", "C:\\P1\\DOCS\\ A.TXT", "C:\\P1\\PAPERS\\ B.TXT",
                           "C:\\P2\\", "C:\\P2\\DOCS\\ B.TXT", "C:\\P2\\PAPERS\\ A.TXT"}));
  Lines rows = testing::FullPaths(db);
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, (Lines{"C:\\P1\\PAPERS\\B.TXT", "C:\\P2\\DOCS\\B.TXT"}));
}

TEST_F(TwinChangesTest, ADirectoryRenamedOntoATwinsNameJoinsItAndReplacesOnlyWhatTheDiskLost) {
  drive.MakeFile("d/Docs/a.txt");
  drive.MakeFile("d/other/b.txt");
  drive.MakeDirectory("d/x");
  drive.MakeFile("d/y/c.txt");
  Scan();
  Rename("d/other", "d/DOCS");  // beside Docs
  db.ApplyRename(C("d/other"), C("d/DOCS"), kDirectory);
  Rename("d/y", "d/x");  // over the empty x
  db.ApplyRename(C("d/y"), C("d/x"), kDirectory);
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\D\\", "C:\\D\\DOCS\\ A.TXT", "C:\\D\\DOCS\\ B.TXT",
                           "C:\\D\\X\\ C.TXT"}));
}

TEST_F(TwinChangesTest, AFileRenamedOntoATwinsNameKeepsBoth) {
  drive.MakeFile("d/b.txt");
  drive.MakeFile("d/x.txt");
  drive.MakeFile("d/y.txt");
  Scan();
  db.Search("X.TXT");
  Rename("d/x.txt", "d/B.txt");
  db.ApplyRename(C("d/x.txt"), C("d/B.txt"), 0);
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\D\\ B.TXT B.TXT Y.TXT"}));
  EXPECT_EQ(testing::FullPaths(db), Lines{"C:\\D\\B.TXT"});
  Rename("d/y.txt", "d/b.txt");  // replaces b.txt: still two on the disk
  db.ApplyRename(C("d/y.txt"), C("d/b.txt"), 0);
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\D\\ B.TXT B.TXT"}));
  EXPECT_EQ(testing::FullPaths(db), Lines{"C:\\D\\B.TXT"});
}

TEST_F(TwinChangesTest, AWildcardDeletionKeepsTheTwinsStillThereAndRemovesTheGoneOnes) {
  drive.MakeFile("d/a.tmp");
  drive.MakeFile("d/A.TMP");
  drive.MakeFile("d/b.tmp");
  drive.MakeFile("d/c.txt");
  drive.MakeFile("d/Sub/f");
  drive.MakeDirectory("d/SUB");
  drive.MakeDirectory("d/gone");
  Scan();
  db.Search("*.TMP");
  Unlink("d/A.TMP");
  Unlink("d/b.tmp");
  db.ApplyDelete(C("d/*.tmp"));
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\D\\ A.TMP C.TXT", "C:\\D\\GONE\\", "C:\\D\\SUB\\",
                           "C:\\D\\SUB\\ F"}));
  Lines rows = testing::FullPaths(db);
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, (Lines{"C:\\D\\A.TMP", "File Deleted", "File Deleted"}));

  Rmdir("d/SUB");
  Rmdir("d/gone");
  db.ApplyDirectoryRemove(C("d/*"));
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\D\\ A.TMP C.TXT", "C:\\D\\SUB\\ F"}));
}

TEST_F(TwinChangesTest, AWildcardDeletionInADirectoryThatIsGoneRemovesEveryMatch) {
  drive.MakeFile("d/a.tmp");
  drive.MakeFile("d/A.TMP");
  drive.MakeFile("d/keep.txt");
  Scan();
  Unlink("d/a.tmp");
  Unlink("d/A.TMP");
  Unlink("d/keep.txt");
  Rmdir("d");
  db.ApplyDelete(C("d/*.TMP"));
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\D\\ KEEP.TXT"}));
}

TEST_F(TwinChangesTest, ReportsInsideTwinDirectoriesReachTheRecordOfTheirSpelling) {
  drive.MakeFile("p/Docs/a.txt");
  drive.MakeFile("p/DOCS/b.txt");
  Scan();
  drive.MakeFile("p/Docs/one");
  db.ApplyFileCreate(C("p/Docs/one"));
  drive.MakeFile("p/DOCS/two");
  db.ApplyFileCreate(C("p/DOCS/two"));
  // A third twin made later, listed before another, takes its place among
  // the records, so that what is reported inside it reaches it too.
  const std::string third = SpellingListedEarly(
      "p", [&](const std::string& name) { drive.MakeDirectory("p/" + name); },
      [&](const std::string& name) { Rmdir("p/" + name); });
  ASSERT_FALSE(third.empty());
  db.ApplyDirectoryCreate(C("p/" + third));
  drive.MakeFile("p/" + third + "/three");
  db.ApplyFileCreate(C("p/" + third + "/three"));
  drive.MakeFile("p/DOCS/four");
  db.ApplyFileCreate(C("p/DOCS/four"));
  drive.MakeFile("p/Docs/five");
  db.ApplyFileCreate(C("p/Docs/five"));
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\P\\", "C:\\P\\DOCS\\ A.TXT FIVE ONE",
                           "C:\\P\\DOCS\\ B.TXT FOUR TWO", "C:\\P\\DOCS\\ THREE"}));
}

TEST_F(TwinChangesTest, ADirectoryMovedBesideATwinTakesItsPlaceAmongTheRecords) {
  drive.MakeFile("p/Docs/a.txt");
  drive.MakeFile("p/DOCS/b.txt");
  Scan();
  // Made after the scan, its record stands last in the chain.
  drive.MakeFile("new/c.txt");
  db.ApplyDirectoryCreate(C("new"));
  db.ApplyFileCreate(C("new/c.txt"));
  const std::string moved = SpellingListedEarly(
      "p", [&](const std::string& name) { Rename("new", "p/" + name); },
      [&](const std::string& name) { Rename("p/" + name, "new"); });
  ASSERT_FALSE(moved.empty());
  db.ApplyRename(C("new"), C("p/" + moved), kDirectory);
  drive.MakeFile("p/Docs/one");
  db.ApplyFileCreate(C("p/Docs/one"));
  drive.MakeFile("p/DOCS/two");
  db.ApplyFileCreate(C("p/DOCS/two"));
  drive.MakeFile("p/" + moved + "/three");
  db.ApplyFileCreate(C("p/" + moved + "/three"));
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\P\\", "C:\\P\\DOCS\\ A.TXT ONE", "C:\\P\\DOCS\\ B.TXT TWO",
                           "C:\\P\\DOCS\\ C.TXT THREE"}));
}

TEST_F(TwinChangesTest, AComparisonLooksAtTheDirectoryNowAtThePathNotOneRenamedAway) {
  drive.MakeFile("d/sub/x");
  drive.MakeFile("d/sub/X");
  Scan();
  Unlink("d/sub/x");
  db.ApplyDelete(C("d/sub/x"));  // lists d/sub
  Rename("d/sub", "d/old");
  db.ApplyRename(C("d/sub"), C("d/old"), kDirectory);
  drive.MakeFile("d/sub/y");
  drive.MakeFile("d/sub/Y");
  db.ApplyDirectoryCreate(C("d/sub"));
  db.ApplyFileCreate(C("d/sub/y"));
  db.ApplyFileCreate(C("d/sub/Y"));  // lists d/sub again: the new one
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\D\\", "C:\\D\\OLD\\ X", "C:\\D\\SUB\\ Y Y"}));
}

}  // namespace
}  // namespace varnoke
