#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "db/memory_db.h"
#include "db/result_order.h"
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
using testing::Names;
using Texts = std::vector<std::string>;

class ResultListTest : public ::testing::Test {
 protected:
  ResultListTest() { drives.Set('C', platform::TDriveType::Fixed); }

  // Adds the files and searches for them all; returns their entries in the
  // order given.
  std::vector<TFileEntry*> FindAll(std::initializer_list<const char*> paths) {
    std::vector<TFileEntry*> entries;
    {
      std::lock_guard guard(db.Lock);
      for (const char* path : paths)
        entries.push_back(AddFilePath(db, path));
    }
    db.Search("*");
    return entries;
  }

  TDirectoryRecord* Directory(const char* path) {
    std::lock_guard guard(db.Lock);
    return EnsureDirectory(db, path);
  }

  testing::TTestHost host;
  testing::TFakeDrives& drives = host.drives;
  testing::TMemoryFileSystem& files = host.files;
  TMemoryDB db{host.Services()};
};

TEST_F(ResultListTest, AnEmptyListReadsAsEmptyText) {
  EXPECT_EQ(db.ResultCount(), 0);
  EXPECT_EQ(db.ResultName(0), "");
  EXPECT_EQ(db.ResultFullPath(0), "");
  EXPECT_EQ(db.ResultDirectory(0), "");
  db.SortByName();
  db.SortByPath();
  EXPECT_EQ(db.ResultCount(), 0);
}

TEST_F(ResultListTest, AnIndexOutsideTheListReadsAsEmptyText) {
  FindAll({"C:\\WINDOWS\\WIN.INI"});
  EXPECT_EQ(db.ResultName(1), "");
  EXPECT_EQ(db.ResultFullPath(-1), "");
  EXPECT_EQ(db.ResultDirectory(7), "");
}

TEST_F(ResultListTest, RowsReadAsNameDirectoryAndFullPath) {
  FindAll({"C:\\WINDOWS\\WIN.INI"});
  EXPECT_EQ(db.ResultName(0), "WIN.INI");
  EXPECT_EQ(db.ResultFullPath(0), "C:\\WINDOWS\\WIN.INI");
  EXPECT_EQ(db.ResultDirectory(0), "C:\\WINDOWS\\");

  Directory("C:\\WINDOWS\\SYSTEM");
  db.Search(".SYSTEM");
  EXPECT_EQ(db.ResultName(0), "SYSTEM");
  EXPECT_EQ(db.ResultFullPath(0), "C:\\WINDOWS\\SYSTEM");
  EXPECT_EQ(db.ResultDirectory(0), "C:\\WINDOWS\\");
}

TEST_F(ResultListTest, PathsAreBuiltFromTheTreeOnEveryRead) {
  FindAll({"C:\\WINDOWS\\WIN.INI", "C:\\WINDOWS\\SUB\\X.TXT"});
  {
    std::lock_guard guard(db.Lock);
    TDirectoryRecord* windows = EnsureDirectory(db, "C:\\WINDOWS");
    db.DDList().MoveDirectory(windows, "WIN95", windows->Parent());
  }
  EXPECT_EQ(FullPaths(db), (Texts{"C:\\WIN95\\WIN.INI", "C:\\WIN95\\SUB\\X.TXT"}));
}

TEST_F(ResultListTest, BlankingAFileBlanksItsRowOnly) {
  const auto entries = FindAll({"C:\\WINDOWS\\WIN.INI", "C:\\WINDOWS\\SYSTEM.INI"});
  {
    std::lock_guard guard(db.Lock);
    EXPECT_EQ(db.FindFileResult(entries[0]), 1);  // newest first
    db.BlankFileResult(entries[0]);
    EXPECT_EQ(db.FindFileResult(entries[0]), -1);
  }
  EXPECT_EQ(db.ResultCount(), 2);
  EXPECT_EQ(db.ResultName(1), "File Deleted");
  EXPECT_EQ(db.ResultFullPath(1), "File Deleted");
  EXPECT_EQ(db.ResultDirectory(1), "");
  EXPECT_EQ(db.ResultFullPath(0), "C:\\WINDOWS\\SYSTEM.INI");
}

TEST_F(ResultListTest, BlankingADirectoryBlanksEveryRowInIt) {
  FindAll({"C:\\TEMP\\A", "C:\\TEMP\\B", "C:\\KEEP\\C", "C:\\TEMP\\D"});
  {
    std::lock_guard guard(db.Lock);
    db.BlankDirectoryResults(EnsureDirectory(db, "C:\\TEMP"));
  }
  EXPECT_EQ(FullPaths(db), (Texts{"File Deleted", "File Deleted", "File Deleted", "C:\\KEEP\\C"}));
}

TEST_F(ResultListTest, SetResultRewritesARowInPlace) {
  const auto entries = FindAll({"C:\\A\\X.TXT", "C:\\B\\Y.TXT"});
  {
    std::lock_guard guard(db.Lock);
    const int row = db.FindFileResult(entries[0]);
    ASSERT_EQ(row, 0);
    db.SetResult(row, entries[1]->Name(), EnsureDirectory(db, "C:\\B"));
    db.SetResult(5, nullptr, nullptr);  // outside the list: ignored
  }
  EXPECT_EQ(FullPaths(db), (Texts{"C:\\B\\Y.TXT", "C:\\B\\Y.TXT"}));
}

TEST_F(ResultListTest, SortByNameIsCaseBlindAndPutsBlankedRowsFirst) {
  const auto entries = FindAll({"C:\\B.TXT", "C:\\a.txt", "C:\\C.TXT", "C:\\D\\b2.txt"});
  {
    std::lock_guard guard(db.Lock);
    db.BlankFileResult(entries[2]);
  }
  db.SortByName();
  EXPECT_EQ(Names(db), (Texts{"File Deleted", "a.txt", "B.TXT", "b2.txt"}));
}

TEST_F(ResultListTest, SortByPathComparesComponentByComponent) {
  FindAll({"C:\\A\\Z.TXT", "C:\\A\\C.TXT", "C:\\A\\B\\X.TXT", "C:\\B.TXT", "C:\\A\\B\\A.TXT"});
  db.SortByPath();
  EXPECT_EQ(FullPaths(db), (Texts{"C:\\A\\B\\A.TXT", "C:\\A\\B\\X.TXT", "C:\\A\\C.TXT",
                                  "C:\\A\\Z.TXT", "C:\\B.TXT"}));
}

TEST_F(ResultListTest, SortByPathPutsBlankedRowsFirst) {
  const auto entries = FindAll({"C:\\Z.TXT", "C:\\A\\B.TXT", "C:\\M.TXT"});
  {
    std::lock_guard guard(db.Lock);
    db.BlankFileResult(entries[1]);
  }
  db.SortByPath();
  EXPECT_EQ(FullPaths(db), (Texts{"File Deleted", "C:\\M.TXT", "C:\\Z.TXT"}));
}

TEST_F(ResultListTest, SortsOfDegenerateListsLeaveThemIntact) {
  const auto entries = FindAll({"C:\\ONE"});
  db.SortByName();
  db.SortByPath();
  EXPECT_EQ(FullPaths(db), Texts{"C:\\ONE"});
  {
    std::lock_guard guard(db.Lock);
    db.BlankFileResult(entries[0]);
  }
  db.SortByPath();
  db.SortByName();
  EXPECT_EQ(FullPaths(db), Texts{"File Deleted"});
}

TEST(ComparePaths, BlankedRowsOrderBeforeDriveRootRowsFromEitherSide) {
  TDDList list;
  TDirectoryRecord* root = list.AddDirectory("C:", nullptr);
  const TResultRow blanked{};
  const TResultRow driveRoot{root->NameAddress(), nullptr};
  EXPECT_LT(ComparePaths(blanked, driveRoot), 0);
  EXPECT_GT(ComparePaths(driveRoot, blanked), 0);
  EXPECT_EQ(ComparePaths(blanked, blanked), 0);
  EXPECT_EQ(CompareNames(nullptr, nullptr), 0);
  EXPECT_LT(CompareNames(nullptr, "A"), 0);
  EXPECT_GT(CompareNames("A", nullptr), 0);
}

// Rows in chains deeper than the fixed tables are compared in full path
// order, component by component, like shallow ones.
TEST(ComparePaths, ComparesChainsDeeperThanTheFixedTablesInFullPathOrder) {
  TDDList list;
  std::vector<TDirectoryRecord*> chain{list.AddDirectory("C:", nullptr)};
  for (int depth = 1; depth < 50; ++depth)
    chain.push_back(list.AddDirectory("D", chain.back()));
  // Beside the chain, branches at depths around and beyond the table size.
  TDirectoryRecord* at30 = list.AddDirectory("E", chain[29]);
  TDirectoryRecord* at19 = list.AddDirectory("C", chain[18]);

  const TResultRow deepest{"A.TXT", chain[49]};
  const TResultRow branch30{"A.TXT", at30};  // ...\D (30 times)\E\A.TXT
  const TResultRow branch19{"A.TXT", at19};
  const TResultRow file40{"Z.TXT", chain[40]};
  const TResultRow file40b{"D", chain[40]};  // same as the next directory's name

  EXPECT_LT(ComparePaths(deepest, branch30), 0);  // D < E at level 31
  EXPECT_GT(ComparePaths(branch30, deepest), 0);
  EXPECT_GT(ComparePaths(deepest, branch19), 0);  // D > C at level 20
  EXPECT_LT(ComparePaths(deepest, file40), 0);    // D < Z.TXT at level 42
  EXPECT_EQ(ComparePaths(deepest, file40b), 0);   // a name equal to the next directory
  EXPECT_EQ(ComparePaths(deepest, deepest), 0);
}

// The quicksort as it has always been written: recursion into the left part
// first. The real sort recurses into the smaller part and must arrive at
// exactly the same permutation.
template <typename Compare>
void ReferenceQuickSort(std::vector<TResultRow>& rows, int left, int right, Compare compare) {
  int i = left;
  int j = right;
  const TResultRow pivot = rows[static_cast<std::size_t>((left + right) / 2)];
  do {
    while (compare(rows[static_cast<std::size_t>(i)], pivot) < 0)
      ++i;
    while (compare(rows[static_cast<std::size_t>(j)], pivot) > 0)
      --j;
    if (i <= j) {
      std::swap(rows[static_cast<std::size_t>(i)], rows[static_cast<std::size_t>(j)]);
      ++i;
      --j;
    }
  } while (i <= j);
  if (left < j) ReferenceQuickSort(rows, left, j, compare);
  if (i < right) ReferenceQuickSort(rows, i, right, compare);
}

TEST_F(ResultListTest, SortsGiveExactlyTheClassicQuicksortPermutation) {
  std::mt19937 random(5);
  const auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  std::vector<TFileEntry*> entries;
  {
    std::lock_guard guard(db.Lock);
    const char* dirs[] = {"C:\\A", "C:\\A\\B", "C:\\B", "C:\\a\\b\\c", "C:"};
    const char* names[] = {"X.TXT", "b", "B", "A.TXT", "Z"};
    for (int i = 0; i < 600; ++i) {
      entries.push_back(AddFilePath(db, std::string(dirs[pick(5)]) + "\\" + names[pick(5)]));
    }
  }
  for (int byPath = 0; byPath < 2; ++byPath) {
    db.Search("*");
    {
      std::lock_guard guard(db.Lock);
      for (int i = 0; i < 50; ++i)
        db.BlankFileResult(entries[pick(entries.size())]);
    }
    std::vector<TResultRow> expected;
    for (int i = 0; i < db.ResultCount(); ++i) {
      expected.push_back({db.ResultNames()[static_cast<std::size_t>(i)],
                          db.ResultDirs()[static_cast<std::size_t>(i)]});
    }
    if (byPath) {
      ReferenceQuickSort(
          expected, 0, static_cast<int>(expected.size()) - 1,
          [](const TResultRow& a, const TResultRow& b) { return ComparePaths(a, b); });
      db.SortByPath();
    } else {
      ReferenceQuickSort(
          expected, 0, static_cast<int>(expected.size()) - 1,
          [](const TResultRow& a, const TResultRow& b) { return CompareNames(a.Name, b.Name); });
      db.SortByName();
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(db.ResultNames()[i], expected[i].Name) << "row " << i;
      ASSERT_EQ(db.ResultDirs()[i], expected[i].Directory) << "row " << i;
    }
    // By name the result is ordered. By path it need not be: a file named
    // like a sibling directory ("B" beside "B\") compares equal to every
    // row below that directory, so equality is not transitive there.
    for (std::size_t i = 1; !byPath && i < expected.size(); ++i) {
      ASSERT_LE(CompareNames(db.ResultNames()[i - 1], db.ResultNames()[i]), 0) << "row " << i;
    }
  }
}

// Trees where no file is named like a directory beside it, so that both
// orders are total over the rows: twin directories (one name, two records),
// files of one name, blanked rows and drive-root rows. The sorts must still
// leave exactly the classic quicksort's permutation.
TEST_F(ResultListTest, SortsOfTotallyOrderedRowsGiveTheClassicPermutation) {
  std::mt19937 random(11);
  const auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  for (int round = 0; round < 6; ++round) {
    std::vector<TFileEntry*> entries;
    {
      std::lock_guard guard(db.Lock);
      TDDList& list = db.DDList();
      std::vector<TDirectoryRecord*> dirs{EnsureDirectory(db, "C:"), EnsureDirectory(db, "D:")};
      for (int i = 0; i < 40; ++i) {
        TDirectoryRecord* parent = dirs[pick(dirs.size())];
        // Few names, so that some directories are twins.
        dirs.push_back(list.AddDirectory("D" + std::to_string(pick(4)), parent));
      }
      for (int i = 0; i < 300; ++i) {
        entries.push_back(list.AddFile("F" + std::to_string(pick(round < 3 ? 1000 : 6)) + ".TXT",
                                       dirs[pick(dirs.size())]));
      }
    }
    for (int byPath = 0; byPath < 2; ++byPath) {
      db.Search(pick(2) == 0 ? "*" : "F1*");
      {
        std::lock_guard guard(db.Lock);
        for (std::size_t i = pick(4); i > 0; --i)
          db.BlankFileResult(entries[pick(entries.size())]);
      }
      std::vector<TResultRow> expected;
      for (int i = 0; i < db.ResultCount(); ++i) {
        expected.push_back({db.ResultNames()[static_cast<std::size_t>(i)],
                            db.ResultDirs()[static_cast<std::size_t>(i)]});
      }
      if (byPath) {
        ReferenceQuickSort(
            expected, 0, static_cast<int>(expected.size()) - 1,
            [](const TResultRow& a, const TResultRow& b) { return ComparePaths(a, b); });
        db.SortByPath();
      } else {
        ReferenceQuickSort(
            expected, 0, static_cast<int>(expected.size()) - 1,
            [](const TResultRow& a, const TResultRow& b) { return CompareNames(a.Name, b.Name); });
        db.SortByName();
      }
      ASSERT_EQ(db.ResultCount(), static_cast<int>(expected.size()));
      for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(db.ResultNames()[i], expected[i].Name) << "round " << round << " row " << i;
        ASSERT_EQ(db.ResultDirs()[i], expected[i].Directory) << "round " << round << " row " << i;
      }
    }
    // A drive-root row among them, from a directory search.
    db.Search(".*");
    std::vector<TResultRow> expected;
    for (int i = 0; i < db.ResultCount(); ++i) {
      expected.push_back({db.ResultNames()[static_cast<std::size_t>(i)],
                          db.ResultDirs()[static_cast<std::size_t>(i)]});
    }
    ReferenceQuickSort(expected, 0, static_cast<int>(expected.size()) - 1,
                       [](const TResultRow& a, const TResultRow& b) { return ComparePaths(a, b); });
    db.SortByPath();
    for (std::size_t i = 0; i < expected.size(); ++i)
      ASSERT_EQ(db.ResultNames()[i], expected[i].Name) << "round " << round << " row " << i;
  }
}

// Where no file is named like a directory beside it, ordering by path is
// ordering the lists of path components, each compared case-blind, at every
// depth, the ones beyond the fixed tables included.
TEST_F(ResultListTest, SortByPathOrdersByPathComponentsAtEveryDepth) {
  std::mt19937 random(9);
  const auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  {
    std::lock_guard guard(db.Lock);
    for (int i = 0; i < 800; ++i) {
      std::string path = "C:";
      for (std::size_t depth = pick(30); depth > 0; --depth)
        path += "\\D" + std::to_string(pick(3));
      AddFilePath(db, path + "\\F" + std::to_string(pick(4)) + ".TXT");
    }
  }
  db.Search("*");
  db.SortByPath();
  const auto components = [](const std::string& path) {
    std::vector<std::string> parts;
    std::size_t begin = 0;
    for (std::size_t slash; (slash = path.find('\\', begin)) != std::string::npos;
         begin = slash + 1) {
      parts.push_back(platform::UpperCase(path.substr(begin, slash - begin)));
    }
    parts.push_back(platform::UpperCase(path.substr(begin)));
    return parts;
  };
  const Texts paths = FullPaths(db);
  for (std::size_t i = 1; i < paths.size(); ++i) {
    ASSERT_LE(components(paths[i - 1]), components(paths[i])) << paths[i - 1] << " / " << paths[i];
  }
}

}  // namespace
}  // namespace varnoke
