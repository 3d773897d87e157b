// Comparing listings of the disk with the tree, as the catch-up after a load
// does: only the differences change the tree, each one found is told, and a
// subdirectory goes only once the device says nothing changed it since.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "db/memory_db.h"
#include "tests/support/recording_observer.h"
#include "tests/support/temp_drive.h"

namespace varnoke {
namespace {

using Lines = std::vector<std::string>;

class ListingChangesTest : public ::testing::Test {
 protected:
  void Scan() { ASSERT_TRUE(db.ScanDrives(drive.DatabasePath(), observer)); }

  // Every directory and file of the tree by its path, in order.
  Lines Tree() {
    std::lock_guard guard(db.Lock);
    Lines paths;
    for (const TDirectoryRecord* d = db.DDList().FirstDirectory(); d != nullptr; d = d->Next()) {
      paths.push_back(db.DirectoryPath(d));
      for (const TFileEntry* e = d->Files(); e != nullptr; e = e->Next())
        paths.push_back(db.DirectoryPath(d) + e->Name());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  // What the last calls found, "+" or "-" and the path, in order.
  Lines Found() {
    Lines lines;
    for (const TTreeChange& change : found)
      lines.push_back((change.Added ? "+" : "-") + change.Path);
    found.clear();
    std::sort(lines.begin(), lines.end());
    return lines;
  }

  testing::TTempDrive drive;
  TMemoryDB db{drive.Services()};
  testing::TRecordingObserver observer;
  std::vector<TTreeChange> found;
};

TEST_F(ListingChangesTest, AListingSetsTheFilesAndAddsWhatTheTreeLacks) {
  drive.MakeFile("a/x.txt");
  drive.MakeFile("a/keep.txt");
  drive.MakeDirectory("a/old");
  Scan();
  db.ApplyListing("C:\\a\\", {"keep.txt", "y.txt", "Sub\\"}, found);
  EXPECT_EQ(Found(), (Lines{"+C:\\a\\Sub\\", "+C:\\a\\y.txt", "-C:\\a\\X.TXT"}));
  // OLD is not listed, but stays until the device says nothing moved it.
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\A\\", "C:\\A\\KEEP.TXT", "C:\\A\\OLD\\", "C:\\A\\SUB\\",
                           "C:\\A\\Y.TXT"}));
  // A directory the tree lacks altogether is made, with its parents.
  db.ApplyListing("C:\\new\\deep\\", {"f.txt"}, found);
  EXPECT_EQ(Found(), (Lines{"+C:\\new\\", "+C:\\new\\deep\\", "+C:\\new\\deep\\f.txt"}));
  db.ApplyListing("C:\\a\\", {"keep.txt", "y.txt", "Sub\\"}, found);
  EXPECT_TRUE(Found().empty());  // nothing differs any more
}

TEST_F(ListingChangesTest, UnchangedDirectoriesLoseWhatTheirListingsLacked) {
  drive.MakeDirectory("a/old/inner");
  drive.MakeDirectory("a/keep");
  drive.MakeDirectory("b/gone");
  Scan();
  db.ApplyListing("C:\\a\\", {"keep\\"}, found);
  db.ApplyListing("C:\\b\\", {}, found);
  EXPECT_TRUE(Found().empty());
  // Only a: b's listing may have met a rename half-way.
  db.ApplyUnchanged({"C:\\a\\"}, found);
  EXPECT_EQ(Found(), (Lines{"-C:\\a\\OLD\\"}));
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\A\\", "C:\\A\\KEEP\\", "C:\\B\\", "C:\\B\\GONE\\"}));
  db.ApplyUnchanged({"C:\\a\\"}, found);  // said twice: once is all
  EXPECT_TRUE(Found().empty());
  db.EndListings(&found);
  EXPECT_TRUE(Found().empty());  // drive C: is still a fixed drive
}

TEST_F(ListingChangesTest, NamesThatDifferOnlyInCaseCountAsTheListingHasThem) {
  drive.MakeFile("a.txt");
  drive.MakeDirectory("Docs");
  Scan();
  db.ApplyListing("C:\\", {"a.txt", "A.TXT", "Docs\\", "DOCS\\"}, found);
  EXPECT_EQ(Found(), (Lines{"+C:\\A.TXT", "+C:\\DOCS\\"}));
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\A.TXT", "C:\\A.TXT", "C:\\DOCS\\", "C:\\DOCS\\"}));
  db.ApplyListing("C:\\", {"A.TXT", "Docs\\"}, found);
  EXPECT_EQ(Found(), (Lines{"-C:\\A.TXT"}));
  db.ApplyUnchanged({"C:\\"}, found);
  EXPECT_EQ(Found(), (Lines{"-C:\\DOCS\\"}));
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\A.TXT", "C:\\DOCS\\"}));
}

// A listing may see the disk after changes whose reports are still to
// come: until the device says they have come, a deletion of a name in the
// listed directory compares with the disk instead of taking the entry.
TEST_F(ListingChangesTest, AListedDirectoryComparesDeletionsWithTheDiskUntilUnchanged) {
  drive.MakeFile("A.TXT");  // "a.txt" beside it was deleted before the listing
  Scan();
  db.ApplyListing("C:\\", {"A.TXT"}, found);
  db.ApplyDelete("C:\\a.txt");  // that deletion's report, late
  EXPECT_EQ(Tree(), (Lines{"C:\\", "C:\\A.TXT"}));
  db.ApplyUnchanged({"C:\\"}, found);
  db.ApplyDelete("C:\\a.txt");  // a deletion after the listing takes the entry
  EXPECT_EQ(Tree(), (Lines{"C:\\"}));
}

}  // namespace
}  // namespace varnoke
