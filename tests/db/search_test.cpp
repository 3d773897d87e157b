#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "db/memory_db.h"
#include "db/wildcard.h"
#include "platform/upcase.h"
#include "tests/support/fake_drives.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/test_host.h"
#include "tests/support/tree_builder.h"

namespace varnoke {
namespace {

using testing::AddFilePath;
using testing::EnsureDirectory;
using testing::FullPaths;
using Paths = std::vector<std::string>;

class SearchTest : public ::testing::Test {
 protected:
  SearchTest() {
    drives.Set('C', platform::TDriveType::Fixed);
    std::lock_guard guard(db.Lock);
    for (const char* path :
         {"C:\\README.TXT", "C:\\MY.NOTES.TXT", "C:\\NOTES.TXT", "C:\\WINDOWS\\WIN.INI",
          "C:\\WINDOWS\\SYSTEM.INI", "C:\\WINDOWS\\NOTEPAD.EXE", "C:\\WINDOWS\\SYSTEM\\DRV.INI",
          "C:\\WINDOWS\\SYSTEM\\VGA.DRV", "C:\\WINDOWS\\SYSTEM\\DEEP\\X.INI",
          "C:\\DOCS.TXT\\IN.DOC", "D:\\WINDOWS\\D.INI"}) {
      AddFilePath(db, path);
    }
  }

  Paths Find(const std::string& pattern) {
    db.Search(pattern);
    return FullPaths(db);
  }

  testing::TTestHost host;
  testing::TFakeDrives& drives = host.drives;
  testing::TMemoryFileSystem& files = host.files;
  TMemoryDB db{host.Services()};
};

TEST_F(SearchTest, EmptyTextAndALoneFullStopFindNothing) {
  EXPECT_EQ(Find(""), Paths{});
  EXPECT_EQ(Find("."), Paths{});
}

TEST_F(SearchTest, FileSearchVisitsDirectoriesInChainOrderAndFilesNewestFirst) {
  EXPECT_EQ(Find("*.TXT"), (Paths{"C:\\NOTES.TXT", "C:\\README.TXT"}));
  EXPECT_EQ(Find("*TXT"), (Paths{"C:\\README.TXT"}));
  EXPECT_EQ(Find("*.INI"), (Paths{"C:\\WINDOWS\\SYSTEM.INI", "C:\\WINDOWS\\WIN.INI",
                                  "C:\\WINDOWS\\SYSTEM\\DRV.INI",
                                  "C:\\WINDOWS\\SYSTEM\\DEEP\\X.INI", "D:\\WINDOWS\\D.INI"}));
  EXPECT_EQ(Find("win.ini"), (Paths{"C:\\WINDOWS\\WIN.INI"}));
}

TEST_F(SearchTest, FileSearchNeverReturnsADirectoryNorTheReverse) {
  EXPECT_EQ(Find("DOCS.TXT"), Paths{});
  EXPECT_EQ(Find(".README.TXT"), Paths{});
  EXPECT_EQ(Find(".DOCS.TXT"), (Paths{"C:\\DOCS.TXT"}));
}

TEST_F(SearchTest, DirectorySearchMatchesEveryRecordWithoutItsFullStop) {
  EXPECT_EQ(Find(".windows"), (Paths{"C:\\WINDOWS", "D:\\WINDOWS"}));
  EXPECT_EQ(Find(".SYS*"), (Paths{"C:\\WINDOWS\\SYSTEM"}));
  // A drive root takes part with its letter and colon; its row has no
  // directory.
  db.Search(".C:");
  ASSERT_EQ(db.ResultCount(), 1);
  EXPECT_EQ(db.ResultName(0), "C:");
  EXPECT_EQ(db.ResultDirectory(0), "");
  EXPECT_EQ(db.ResultFullPath(0), "C:\\");
  // A leading full stop wins over a backslash.
  EXPECT_EQ(Find(".C:\\WINDOWS"), Paths{});
}

TEST_F(SearchTest, PathQualifiedSearchGoesLevelByLevelBelowTheStart) {
  const Paths expected{"C:\\WINDOWS\\SYSTEM.INI", "C:\\WINDOWS\\WIN.INI",
                       "C:\\WINDOWS\\SYSTEM\\DRV.INI", "C:\\WINDOWS\\SYSTEM\\DEEP\\X.INI"};
  EXPECT_EQ(Find("C:\\WINDOWS\\*.INI"), expected);
  EXPECT_EQ(Find("c:\\windows\\*.ini"), expected);
  EXPECT_EQ(Find("C:\\*.TXT"), (Paths{"C:\\NOTES.TXT", "C:\\README.TXT"}));
}

TEST_F(SearchTest, PathQualifiedSearchFindsNothingWhereThePrefixDoesNotResolve) {
  EXPECT_EQ(Find("C:\\WIN*\\*.INI"), Paths{});  // wildcards in the prefix are plain text
  EXPECT_EQ(Find("WINDOWS\\*.INI"), Paths{});
  EXPECT_EQ(Find("C:\\NOSUCH\\*.INI"), Paths{});
  EXPECT_EQ(Find("C:\\WINDOWS\\"), Paths{});
  EXPECT_EQ(Find("\\WINDOWS\\*.INI"), Paths{});
  EXPECT_EQ(Find("C:\\\\WINDOWS\\*.INI"), Paths{});
}

TEST_F(SearchTest, PathQualifiedSearchCoversEveryTwinThePathNames) {
  // Two directories that the disk spells "Case\d" and "CASE\D", and so on:
  // one name each in the tree, all named by the path.
  std::lock_guard guard(db.Lock);
  TDirectoryRecord* case1 = EnsureDirectory(db, "C:\\CASE");
  TDirectoryRecord* case2 = db.DDList().AddDirectory("CASE", case1->Parent());
  TDirectoryRecord* d1 = db.DDList().AddDirectory("D", case1);
  TDirectoryRecord* d2 = db.DDList().AddDirectory("D", case2);
  TDirectoryRecord* d3 = db.DDList().AddDirectory("D", case1);
  TDirectoryRecord* below = db.DDList().AddDirectory("SUB", d1);
  db.DDList().AddFile("ONE.TXT", d3);
  db.DDList().AddFile("TWO.TXT", d2);
  db.DDList().AddFile("THREE.TXT", d1);
  db.DDList().AddFile("FOUR.TXT", below);
  db.DDList().AddFile("OTHER.TXT", db.DDList().AddDirectory("E", case2));
  // The start level in chain order (d1, d2, d3), then the level below.
  EXPECT_EQ(Find("c:\\case\\d\\*.txt"),
            (Paths{"C:\\CASE\\D\\THREE.TXT", "C:\\CASE\\D\\TWO.TXT", "C:\\CASE\\D\\ONE.TXT",
                   "C:\\CASE\\D\\SUB\\FOUR.TXT"}));
  EXPECT_EQ(Find("C:\\CASE\\*.TXT").size(), 5u);
  EXPECT_EQ(Find("C:\\CASE\\X\\*"), Paths{});
}

TEST_F(SearchTest, ASearchReplacesTheRowsOfTheLastOne) {
  Find("*.INI");
  EXPECT_EQ(Find("*.EXE"), (Paths{"C:\\WINDOWS\\NOTEPAD.EXE"}));
  EXPECT_EQ(Find("NOTHING"), Paths{});
  EXPECT_EQ(db.ResultCount(), 0);
}

TEST_F(SearchTest, TheSameSearchTwiceGivesTheSameRows) {
  const Paths first = Find("*");
  EXPECT_EQ(first.size(), 11u);
  EXPECT_EQ(Find("*"), first);
}

// Within one level, directories come in chain order whatever their parent:
// a subdirectory added later under an earlier sibling comes after one added
// earlier under a later sibling.
TEST_F(SearchTest, WithinALevelDirectoriesComeInChainOrder) {
  {
    std::lock_guard guard(db.Lock);
    EnsureDirectory(db, "C:\\S\\A");
    EnsureDirectory(db, "C:\\S\\B");
    AddFilePath(db, "C:\\S\\B\\B1\\F.LOG");
    AddFilePath(db, "C:\\S\\A\\A1\\F.LOG");
    AddFilePath(db, "C:\\S\\B\\F.LOG");
    AddFilePath(db, "C:\\S\\A\\F.LOG");
  }
  EXPECT_EQ(Find("C:\\S\\*.LOG"), (Paths{"C:\\S\\A\\F.LOG", "C:\\S\\B\\F.LOG",
                                         "C:\\S\\B\\B1\\F.LOG", "C:\\S\\A\\A1\\F.LOG"}));
}

// The searches, written as plainly as possible: a walk of the whole chain per
// level. The real ones must give the same rows in the same order.
Paths ReferenceSubtreeSearch(TMemoryDB& db, const std::string& pattern) {
  std::lock_guard guard(db.Lock);
  const TResolvedPath resolved = db.ResolvePath(pattern);
  Paths rows;
  // The start level: every record the prefix spells, twins included.
  const std::string prefix = platform::UpperCase(pattern.substr(0, pattern.rfind('\\') + 1));
  std::vector<TDirectoryRecord*> level;
  for (TDirectoryRecord* d = db.DDList().FirstDirectory(); d != nullptr; d = d->Next()) {
    if (db.DirectoryPath(d) == prefix) level.push_back(d);
  }
  std::vector<TDirectoryRecord*> all = level;
  while (!level.empty()) {
    std::vector<TDirectoryRecord*> next;
    for (TDirectoryRecord* d = db.DDList().FirstDirectory(); d != nullptr; d = d->Next()) {
      for (TDirectoryRecord* x : level) {
        if (d->Parent() == x) {
          all.push_back(d);
          next.push_back(d);
        }
      }
    }
    level = next;
  }
  for (TDirectoryRecord* d : all) {
    for (const TFileEntry* e = d->Files(); e != nullptr; e = e->Next()) {
      if (MatchWildcard(e->Name(), resolved.Name.data(), std::strlen(e->Name()),
                        resolved.Name.size())) {
        rows.push_back(db.DirectoryPath(d) + e->Name());
      }
    }
  }
  return rows;
}

TEST(SearchOrder, PathQualifiedSearchMatchesALevelByLevelWalkOfTheChain) {
  testing::TTestHost host;
  TMemoryDB db(host.Services());
  std::mt19937 random(11);
  const auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  std::vector<TDirectoryRecord*> dirs;
  {
    std::lock_guard guard(db.Lock);
    dirs.push_back(db.DDList().AddDirectory("C:", nullptr));
    for (int i = 0; i < 400; ++i) {
      TDirectoryRecord* parent = dirs[pick(dirs.size())];
      dirs.push_back(db.DDList().AddDirectory("D" + std::to_string(i % 7), parent));
      db.DDList().AddFile(pick(2) ? "X.LOG" : "Y.TXT", dirs.back());
    }
    // Moves put records behind their new siblings and below later records.
    for (int i = 0; i < 100; ++i) {
      db.DDList().MoveDirectory(dirs[1 + pick(dirs.size() - 1)], "M" + std::to_string(i),
                                dirs[pick(dirs.size())]);
    }
  }
  for (int probe = 0; probe < 30; ++probe) {
    std::string prefix;
    {
      std::lock_guard guard(db.Lock);
      prefix = db.DirectoryPath(dirs[pick(dirs.size())]);
    }
    const std::string pattern = prefix + "*.LOG";
    db.Search(pattern);
    EXPECT_EQ(FullPaths(db), ReferenceSubtreeSearch(db, pattern)) << pattern;
  }
}

}  // namespace
}  // namespace varnoke
