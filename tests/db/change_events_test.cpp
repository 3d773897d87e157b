#include <gtest/gtest.h>

#include <thread>

#include "db/memory_db.h"
#include "platform/upcase.h"
#include "tests/support/test_host.h"
#include "tests/support/tree_builder.h"
#include "tests/support/tree_dump.h"

namespace varnoke {
namespace {

using testing::AddFilePath;
using testing::DumpTree;
using testing::EnsureDirectory;
using testing::FullPaths;
using Lines = std::vector<std::string>;

class ChangeEventsTest : public ::testing::Test {
 protected:
  ChangeEventsTest() {
    host.drives.Set('C', platform::TDriveType::Fixed);
    host.drives.Set('A', platform::TDriveType::Removable);
    host.drives.Set('E', platform::TDriveType::CdRom);
  }

  void Build(std::initializer_list<const char*> paths) {
    std::lock_guard guard(db.Lock);
    for (const char* path : paths) {
      const std::string p = path;
      if (p.back() == '\\') {
        EnsureDirectory(db, p.substr(0, p.size() - 1));
      } else {
        AddFilePath(db, p);
      }
    }
  }
  Lines Rows(const std::string& pattern) {
    db.Search(pattern);
    return FullPaths(db);
  }

  testing::TTestHost host;
  TMemoryDB db{host.Services()};
};

TEST_F(ChangeEventsTest, ACreationAddsANewNameOnceAndAtTheHead) {
  Build({"C:\\WINDOWS\\OLD.TXT"});
  db.ApplyFileCreate("c:\\windows\\new.txt");
  db.ApplyFileCreate("C:\\WINDOWS\\NEW.TXT");  // already there: nothing
  db.ApplyFileCreate("C:\\NOSUCH\\X.TXT");     // no such directory
  db.ApplyFileCreate("C:\\WINDOWS\\");         // no name
  EXPECT_EQ(DumpTree(db), (Lines{"C:\\", "C:\\WINDOWS\\ NEW.TXT OLD.TXT"}));
  db.Search("*");
  const int rows = db.ResultCount();
  db.ApplyFileCreate("C:\\WINDOWS\\THIRD.TXT");
  EXPECT_EQ(db.ResultCount(), rows);  // rows on view stay as they are
}

TEST_F(ChangeEventsTest, ReportsForDrivesThatAreNotFixedChangeNothing) {
  Build({"C:\\X.TXT"});
  {
    std::lock_guard guard(db.Lock);
    db.DDList().AddDirectory("A:", nullptr);
  }
  const Lines before = DumpTree(db);
  db.ApplyFileCreate("A:\\NEW.TXT");
  db.ApplyDelete("E:\\X.TXT");
  db.ApplyDirectoryCreate("A:\\DIR");
  db.ApplyDirectoryRemove("A:\\DIR");
  db.ApplyRename("C:\\X.TXT", "A:\\X.TXT", 0);  // even the old entry stays
  db.ApplyRename("A:\\X.TXT", "C:\\Y.TXT", 0);
  db.ApplyFileCreate("NOBACKSLASH");
  EXPECT_EQ(DumpTree(db), before);
}

TEST_F(ChangeEventsTest, APlainDeletionRemovesItsEntryWithoutAskingTheDisk) {
  Build({"C:\\TEMP\\A.TXT", "C:\\TEMP\\B.TXT"});
  host.files.AddFile("C:\\TEMP\\A.TXT");  // still on the disk: a plain name goes anyway
  EXPECT_EQ(Rows("*.TXT").size(), 2u);
  db.ApplyDelete("C:\\TEMP\\a.txt");
  EXPECT_EQ(FullPaths(db), (Lines{"C:\\TEMP\\B.TXT", "File Deleted"}));
  EXPECT_EQ(DumpTree(db), (Lines{"C:\\", "C:\\TEMP\\ B.TXT"}));
}

TEST_F(ChangeEventsTest, APlainDeletionOfANameWithTwinsKeepsAsManyAsTheDiskHolds) {
  Build({"C:\\TEMP\\A.TXT", "C:\\TEMP\\B.TXT"});
  {
    std::lock_guard guard(db.Lock);
    db.DDList().AddFile("A.TXT", EnsureDirectory(db, "C:\\TEMP"));
  }
  host.files.AddFile("C:\\TEMP\\A.TXT");
  host.files.AddFile("C:\\TEMP\\B.TXT");
  EXPECT_EQ(Rows("*.TXT").size(), 3u);
  db.ApplyDelete("C:\\TEMP\\a.txt");  // the other spelling is still there
  EXPECT_EQ(FullPaths(db), (Lines{"C:\\TEMP\\A.TXT", "C:\\TEMP\\B.TXT", "File Deleted"}));
  EXPECT_EQ(DumpTree(db), (Lines{"C:\\", "C:\\TEMP\\ A.TXT B.TXT"}));
  host.files.Remove("C:\\TEMP\\A.TXT");
  db.ApplyDelete("C:\\TEMP\\A.TXT");
  EXPECT_EQ(DumpTree(db), (Lines{"C:\\", "C:\\TEMP\\ B.TXT"}));
}

TEST_F(ChangeEventsTest, AWildcardDeletionRemovesOnlyWhatIsGoneFromTheDisk) {
  Build({"C:\\TEMP\\A.TMP", "C:\\TEMP\\B.TMP", "C:\\TEMP\\C.TXT", "C:\\TEMP\\D.TMP"});
  host.files.AddFile("C:\\Temp\\b.tmp");  // the disk spells it otherwise
  Rows("*.TMP");                          // D.TMP, B.TMP, A.TMP
  db.ApplyDelete("C:\\TEMP\\*.TMP");
  EXPECT_EQ(FullPaths(db), (Lines{"File Deleted", "C:\\TEMP\\B.TMP", "File Deleted"}));
  EXPECT_EQ(DumpTree(db), (Lines{"C:\\", "C:\\TEMP\\ C.TXT B.TMP"}));
}

TEST_F(ChangeEventsTest, DirectoriesAreCreatedOnlyBelowDirectoriesTheTreeHolds) {
  Build({"C:\\A\\"});
  db.ApplyDirectoryCreate("c:\\a\\b");
  db.ApplyDirectoryCreate("C:\\A\\B");       // already there
  db.ApplyDirectoryCreate("C:\\NOSUCH\\X");  // no parent: left out
  db.ApplyDirectoryCreate("C:\\");
  EXPECT_EQ(DumpTree(db), (Lines{"C:\\", "C:\\A\\", "C:\\A\\B\\"}));
}

TEST_F(ChangeEventsTest, RemovingADirectoryRemovesEverythingBelowItAndBlanksTheirRows) {
  Build({"C:\\A\\X.TXT", "C:\\A\\B\\Y.TXT", "C:\\A\\B\\C\\Z.TXT", "C:\\KEEP\\K.TXT"});
  EXPECT_EQ(Rows("*.TXT").size(), 4u);
  db.ApplyDirectoryRemove("C:\\NOSUCH");  // nothing
  db.ApplyDirectoryRemove("C:\\A");
  EXPECT_EQ(FullPaths(db),
            (Lines{"File Deleted", "File Deleted", "File Deleted", "C:\\KEEP\\K.TXT"}));
  EXPECT_EQ(DumpTree(db), (Lines{"C:\\", "C:\\KEEP\\ K.TXT"}));
  std::lock_guard guard(db.Lock);
  EXPECT_EQ(db.DDList().DirectoryCount(), 2u);
}

TEST_F(ChangeEventsTest, ARemovalNeverTakesADriveRoot) {
  Build({"C:\\A\\X.TXT"});
  db.ApplyDirectoryRemove("C:\\NOSUCH\\C:");  // resolves to no parent and the name C:
  db.ApplyDirectoryRemove("C:\\");
  EXPECT_EQ(DumpTree(db), (Lines{"C:\\", "C:\\A\\ X.TXT"}));
}

TEST_F(ChangeEventsTest, RowsOfADirectorySearchFollowARenameAndGoBlankOnRemoval) {
  Build({"C:\\WINDOWS\\SYSTEM\\", "C:\\OTHER\\"});
  EXPECT_EQ(Rows(".SYSTEM"), Lines{"C:\\WINDOWS\\SYSTEM"});
  db.ApplyRename("C:\\WINDOWS\\SYSTEM", "C:\\OTHER\\SYSTEM32", 0x10);
  EXPECT_EQ(db.ResultName(0), "SYSTEM32");
  EXPECT_EQ(db.ResultFullPath(0), "C:\\OTHER\\SYSTEM32");
  db.ApplyDirectoryRemove("C:\\OTHER");
  EXPECT_EQ(db.ResultFullPath(0), "File Deleted");
}

TEST_F(ChangeEventsTest, ARenamedFileKeepsItsRowInItsNewPlace) {
  Build({"C:\\A\\X.TXT", "C:\\B\\"});
  Rows("X.TXT");
  db.ApplyRename("C:\\A\\X.TXT", "c:\\b\\y.txt", 0x20);
  EXPECT_EQ(FullPaths(db), Lines{"C:\\B\\Y.TXT"});
  EXPECT_EQ(db.ResultName(0), "Y.TXT");
  EXPECT_EQ(DumpTree(db), (Lines{"C:\\", "C:\\A\\", "C:\\B\\ Y.TXT"}));
}

TEST_F(ChangeEventsTest, ARenameOntoAnExistingNameReplacesItsEntry) {
  Build({"C:\\A\\X.TXT", "C:\\A\\Y.TXT", "C:\\A\\Z.TXT"});
  Rows("*.TXT");  // Z, Y, X
  db.ApplyRename("C:\\A\\X.TXT", "C:\\A\\Y.TXT", 0);
  EXPECT_EQ(FullPaths(db), (Lines{"C:\\A\\Z.TXT", "File Deleted", "C:\\A\\Y.TXT"}));
  EXPECT_EQ(DumpTree(db), (Lines{"C:\\", "C:\\A\\ Y.TXT Z.TXT"}));
}

TEST_F(ChangeEventsTest, ARenameWithinADirectoryMovesTheEntryToTheHead) {
  Build({"C:\\A\\X.TXT", "C:\\A\\Y.TXT"});
  db.ApplyRename("C:\\A\\x.txt", "C:\\A\\X.TXT", 0);  // only the case differs
  EXPECT_EQ(DumpTree(db), (Lines{"C:\\", "C:\\A\\ X.TXT Y.TXT"}));
}

TEST_F(ChangeEventsTest, RenamesOfUnknownFilesChangeNothing) {
  Build({"C:\\A\\X.TXT", "C:\\B\\"});
  db.ApplyRename("C:\\A\\NOPE.TXT", "C:\\B\\NEW.TXT", 0);
  db.ApplyRename("C:\\NOSUCH\\X.TXT", "C:\\B\\NEW.TXT", 0);
  EXPECT_EQ(DumpTree(db), (Lines{"C:\\", "C:\\A\\ X.TXT", "C:\\B\\"}));
}

TEST_F(ChangeEventsTest, AFileRenamedWhereTheTreeDoesNotReachIsDeleted) {
  Build({"C:\\A\\X.TXT"});
  Rows("X.TXT");
  db.ApplyRename("C:\\A\\X.TXT", "C:\\NOSUCH\\X.TXT", 0);
  EXPECT_EQ(FullPaths(db), Lines{"File Deleted"});
  EXPECT_EQ(DumpTree(db), (Lines{"C:\\", "C:\\A\\"}));
}

TEST_F(ChangeEventsTest, ADirectoryRenameCarriesEverythingBelowIt) {
  Build({"C:\\OLD\\SUB\\F.TXT", "C:\\OLD\\G.TXT", "C:\\ELSE\\"});
  Rows("F.TXT");
  db.ApplyRename("C:\\OLD", "C:\\NEW", 0x10);
  EXPECT_EQ(FullPaths(db), Lines{"C:\\NEW\\SUB\\F.TXT"});
  db.ApplyRename("C:\\NEW", "C:\\ELSE\\MOVED", 0x30);
  EXPECT_EQ(db.ResultDirectory(0), "C:\\ELSE\\MOVED\\SUB\\");
  EXPECT_EQ(Rows("*.TXT"), (Lines{"C:\\ELSE\\MOVED\\G.TXT", "C:\\ELSE\\MOVED\\SUB\\F.TXT"}));
}

TEST_F(ChangeEventsTest, ACaseOnlyDirectoryRenameChangesNothing) {
  Build({"C:\\OLD\\F.TXT"});
  const Lines before = DumpTree(db);
  db.ApplyRename("C:\\Old", "C:\\OLD", 0x10);
  EXPECT_EQ(DumpTree(db), before);
}

TEST_F(ChangeEventsTest, ADirectoryRenamedOntoAnotherReplacesItWithEverythingBelow) {
  Build({"C:\\A\\X.TXT", "C:\\B\\SUB\\Y.TXT", "C:\\B\\Z.TXT"});
  Rows("*.TXT");  // X, Y, Z in some order
  db.ApplyRename("C:\\A", "C:\\B", 0x10);
  EXPECT_EQ(Rows("*.TXT"), Lines{"C:\\B\\X.TXT"});
  std::lock_guard guard(db.Lock);
  EXPECT_EQ(db.DDList().DirectoryCount(), 2u);
}

TEST_F(ChangeEventsTest, ADirectoryRenamedWhereTheTreeDoesNotReachIsRemoved) {
  Build({"C:\\A\\SUB\\X.TXT"});
  Rows("X.TXT");
  db.ApplyRename("C:\\A", "C:\\NOSUCH\\A", 0x10);
  EXPECT_EQ(FullPaths(db), Lines{"File Deleted"});
  EXPECT_EQ(DumpTree(db), Lines{"C:\\"});
}

TEST_F(ChangeEventsTest, ADirectoryIsNeverMovedIntoItsOwnSubtree) {
  Build({"C:\\A\\B\\X.TXT"});
  const Lines before = DumpTree(db);
  db.ApplyRename("C:\\A", "C:\\A\\B\\A", 0x10);
  db.ApplyRename("C:\\A\\B", "C:\\A", 0x10);  // onto its own parent
  EXPECT_EQ(DumpTree(db), before);
}

TEST_F(ChangeEventsTest, ReportsThatMeetNoTwinNeverLookAtTheDisk) {
  Build({"C:\\A\\X.TXT", "C:\\A\\Y.TXT", "C:\\A\\SUB\\Z.TXT", "C:\\B\\", "C:\\TWINS\\T.TXT"});
  {
    std::lock_guard guard(db.Lock);  // twins elsewhere change nothing here
    db.DDList().AddFile("T.TXT", EnsureDirectory(db, "C:\\TWINS"));
  }
  host.files.AddFile("C:\\A\\X.TXT");
  db.ApplyFileCreate("C:\\A\\new.txt");
  db.ApplyDelete("C:\\A\\y.txt");
  db.ApplyRename("C:\\A\\new.txt", "C:\\B\\moved.txt", 0);
  db.ApplyFileCreate("C:\\B\\moved.txt");  // a device's word after a rename
  db.ApplyRename("C:\\A\\x.txt", "C:\\A\\X.txt", 0);
  db.ApplyDirectoryCreate("C:\\A\\Dir");
  db.ApplyRename("C:\\A\\Dir", "C:\\B\\Dir2", 0x10);
  db.ApplyDirectoryRemove("C:\\B\\Dir2");
  db.ApplyRename("C:\\A\\Sub", "C:\\B\\Sub", 0x10);
  EXPECT_EQ(host.files.ListCount(), 0);
  EXPECT_EQ(host.files.ExistsCount(), 0);
  EXPECT_EQ(DumpTree(db), (Lines{"C:\\", "C:\\A\\ X.TXT", "C:\\B\\SUB\\ Z.TXT", "C:\\B\\ MOVED.TXT",
                                 "C:\\TWINS\\ T.TXT T.TXT"}));
}

TEST_F(ChangeEventsTest, ABurstOfReportsIntoOneDirectoryListsItOnce) {
  // After losing track, a device sends a wildcard deletion for the
  // directory, then a creation for every entry in it: each creation meets
  // its name, and one listing must serve them all.
  std::vector<std::string> names;
  for (int i = 0; i < 300; ++i)
    names.push_back("f" + std::to_string(i));
  {
    std::lock_guard guard(db.Lock);
    TDirectoryRecord* big = EnsureDirectory(db, "C:\\BIG");
    for (const std::string& name : names) {
      db.DDList().AddFile(platform::UpperCase(name), big);
      host.files.AddFile("C:\\Big\\" + name);
    }
    db.DDList().AddDirectory("SUB", big);
    host.files.AddDirectory("C:\\Big\\sub");
  }
  host.files.AddFile("C:\\Big\\F7");  // a twin of f7 the tree lacks
  db.ApplyDelete("C:\\Big\\*");
  for (const std::string& name : names)
    db.ApplyFileCreate("C:\\Big\\" + name);
  db.ApplyFileCreate("C:\\Big\\F7");
  db.ApplyDirectoryCreate("C:\\Big\\sub");
  // Once more for the twin: what is added is added as the disk is now.
  EXPECT_EQ(host.files.ListCount(), 2);
  EXPECT_EQ(host.files.ExistsCount(), 0);
  std::lock_guard guard(db.Lock);
  EXPECT_EQ(db.DDList().FileCount(), names.size() + 1);
  EXPECT_EQ(db.DDList().FilesNamed(EnsureDirectory(db, "C:\\BIG"), "F7").size(), 2u);
  EXPECT_EQ(db.DDList().DirectoryCount(), 3u);
}

TEST_F(ChangeEventsTest, WhatReportsRememberAboutADirectoryGoesWithItsRecord) {
  // A creation that meets its name makes later deletions of it compare with
  // the disk. A directory made after the first is removed may get the
  // first one's record memory, but owes nothing to those reports.
  Build({"C:\\OLD\\B.TXT"});
  host.files.AddFile("C:\\OLD\\b.txt");
  host.files.AddFile("C:\\OLD\\B.txt");
  db.ApplyFileCreate("C:\\OLD\\B.txt");
  const TDirectoryRecord* old = nullptr;
  {
    std::lock_guard guard(db.Lock);
    old = EnsureDirectory(db, "C:\\OLD");
  }
  db.ApplyDirectoryRemove("C:\\OLD");
  db.ApplyDirectoryCreate("C:\\OLD");
  db.ApplyFileCreate("C:\\OLD\\B.TXT");
  {
    std::lock_guard guard(db.Lock);
    if (EnsureDirectory(db, "C:\\OLD") != old) GTEST_SKIP() << "the record memory was not reused";
  }
  const int listed = host.files.ListCount();
  db.ApplyDelete("C:\\OLD\\B.TXT");
  EXPECT_EQ(host.files.ListCount(), listed);
  EXPECT_EQ(DumpTree(db), (Lines{"C:\\", "C:\\OLD\\"}));
}

TEST_F(ChangeEventsTest, ReportsOnTheSearchThreadAndAnotherInterleaveSafely) {
  Build({"C:\\A\\"});
  std::thread reporter([&] {
    for (int i = 0; i < 2000; ++i) {
      const std::string name = "C:\\A\\F" + std::to_string(i % 50);
      db.ApplyFileCreate(name);
      if (i % 3 == 0) db.ApplyDelete(name);
    }
  });
  for (int i = 0; i < 200; ++i) {
    db.Search("*");
    for (int r = 0; r < db.ResultCount(); ++r)
      db.ResultFullPath(r);
    db.SortByPath();
  }
  reporter.join();
  db.Search("*");
  for (const std::string& row : FullPaths(db))
    EXPECT_EQ(row.rfind("C:\\A\\F", 0), 0u) << row;
}

}  // namespace
}  // namespace varnoke
