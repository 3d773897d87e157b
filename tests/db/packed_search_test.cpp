// The searches over packed file chains, with their literal prefilter and
// their threads, against the matcher run on every entry in chain order.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "db/memory_db.h"
#include "db/name_filter.h"
#include "db/wildcard.h"
#include "tests/support/test_host.h"

namespace varnoke {
namespace {

// Letters that make literals collide often, a full stop, a two-byte
// character and the wildcards' own characters.
const std::vector<std::string> kPieces = {"A", "B", "C", ".", "T", "\xC3\x89", "?", "*", "AB", "."};

std::string RandomText(std::mt19937& random, std::size_t maxPieces, bool wildcards) {
  std::string text;
  const std::size_t pieces = 1 + random() % maxPieces;
  for (std::size_t i = 0; i < pieces; ++i) {
    const std::string& piece = kPieces[random() % kPieces.size()];
    if (!wildcards && (piece == "?" || piece == "*")) continue;
    text += piece;
  }
  return text.empty() ? "A" : text;
}

TEST(RequiredLiteral, IsTheLongestRunThatNoWildcardInterrupts) {
  EXPECT_EQ(RequiredLiteral("*.TXT"), ".TXT");
  EXPECT_EQ(RequiredLiteral("*LOQU*"), "LOQU");
  EXPECT_EQ(RequiredLiteral("README.TXT"), "README.TXT");
  EXPECT_EQ(RequiredLiteral("AB?CDE*F"), "CDE");
  EXPECT_EQ(RequiredLiteral("**X"), "*X");  // the second star is looked for as itself
  EXPECT_EQ(RequiredLiteral("*?"), "?");
  EXPECT_EQ(RequiredLiteral("*"), "");
  EXPECT_EQ(RequiredLiteral("?*"), "");
}

// A name the matcher accepts always holds the pattern's literal: the
// prefilter never turns a match away.
TEST(RequiredLiteral, EveryMatchHoldsIt) {
  std::mt19937 random(24);
  int matches = 0;
  for (int round = 0; round < 200'000; ++round) {
    const std::string pattern = RandomText(random, 5, true);
    const std::string name = RandomText(random, 7, false);
    if (!MatchWildcardTerminated(name.c_str(), pattern.data(), pattern.size())) continue;
    ++matches;
    EXPECT_NE(name.find(RequiredLiteral(pattern)), std::string::npos) << pattern << " " << name;
  }
  EXPECT_GT(matches, 1000);
}

TEST(FindLiteral, FindsTheFirstPlaceAsAPlainSearchDoes) {
  std::mt19937 random(7);
  for (int round = 0; round < 20'000; ++round) {
    std::string block(random() % 200, 'A');
    for (char& c : block)
      c = "AB.\0T"[random() % 5];
    const std::string literal = RandomText(random, 3, false);
    const std::size_t from = block.empty() ? 0 : random() % block.size();
    const char* found = FindLiteral(block.data() + from, block.data() + block.size(), literal);
    const std::size_t expected = block.find(literal, from);
    if (expected == std::string::npos) {
      EXPECT_EQ(found, nullptr);
    } else {
      EXPECT_EQ(found, block.data() + expected) << literal;
    }
  }
}

class PackedSearchTest : public ::testing::Test {
 protected:
  PackedSearchTest() { host.drives.Set('C', platform::TDriveType::Fixed); }

  // Every file in chain order whose name the matcher accepts.
  TRowList Reference(const std::string& pattern) {
    TRowList rows;
    for (TDirectoryRecord* d = db.DDList().FirstDirectory(); d != nullptr; d = d->Next()) {
      for (const TFileEntry* e = d->Files(); e != nullptr; e = e->Next()) {
        if (MatchWildcardTerminated(e->Name(), pattern.data(), pattern.size())) {
          rows.Names.push_back(e->Name());
          rows.Dirs.push_back(d);
        }
      }
    }
    return rows;
  }

  void ExpectSameRows(const std::string& pattern) {
    std::lock_guard guard(db.Lock);
    TRowList rows;
    db.SearchRows(pattern, rows);
    const TRowList expected = Reference(pattern);
    EXPECT_EQ(rows.Names, expected.Names) << pattern;
    EXPECT_EQ(rows.Dirs, expected.Dirs) << pattern;
  }

  // directories packed directories of up to 2 * perDirectory random names.
  void Fill(std::mt19937& random, std::size_t directories, std::size_t perDirectory) {
    std::lock_guard guard(db.Lock);
    TDDList& list = db.DDList();
    TDirectoryRecord* root = list.FirstDirectory();
    if (root == nullptr) root = list.AddDirectory("C:", nullptr);
    std::vector<std::string> names;
    std::vector<std::string_view> views;
    for (std::size_t k = 0; k < directories; ++k) {
      TDirectoryRecord* d = list.AddDirectory("D" + std::to_string(list.DirectoryCount()), root);
      names.clear();
      for (std::size_t f = random() % (2 * perDirectory); f > 0; --f)
        names.push_back(RandomText(random, 6, false));
      views.assign(names.begin(), names.end());
      list.AddFiles(views, d);
    }
  }

  testing::TTestHost host;
  TMemoryDB db{host.Services()};
};

// Entries removed from packed blocks leave holes that other entries fill;
// entries added later stand ahead of the packed tail. Rows stay exactly
// those of the matcher, in chain order.
TEST_F(PackedSearchTest, RowsAreThoseOfTheMatcherInChainOrderAfterChanges) {
  std::mt19937 random(1996);
  Fill(random, 300, 12);
  {
    std::lock_guard guard(db.Lock);
    TDDList& list = db.DDList();
    std::vector<TDirectoryRecord*> dirs;
    for (TDirectoryRecord* d = list.FirstDirectory(); d != nullptr; d = d->Next())
      dirs.push_back(d);
    for (int change = 0; change < 3000; ++change) {
      TDirectoryRecord* d = dirs[random() % dirs.size()];
      if (random() % 2 == 0 && d->Files() != nullptr) {
        TFileEntry* e = d->Files();
        for (int skip = static_cast<int>(random() % 5); skip > 0 && e->Next() != nullptr; --skip)
          e = e->Next();
        list.RemoveFileEntry(e, d);
      } else {
        list.AddFile(RandomText(random, 6, false), d);
      }
    }
  }
  for (const char* pattern : {"*.T", "*AB*", "A*", "*\xC3\x89*", "?B*", "*", "*A.", "AB.T", "*.*"})
    ExpectSameRows(pattern);
}

// A tree large enough to be searched by several threads gives the rows of
// one thread, in the same order.
TEST_F(PackedSearchTest, ThreadsJoinTheirRowsInChainOrder) {
  std::mt19937 random(2026);
  Fill(random, 16'000, 14);
  ASSERT_GT(db.DDList().FileCount() + db.DDList().DirectoryCount(), 200'000u);  // threads
  {
    // Directories added after the chain was cut into stretches, and some
    // removed, stand in the stretches all the same.
    std::lock_guard guard(db.Lock);
    TRowList warm;
    db.SearchRows("*.T", warm);
    TDDList& list = db.DDList();
    TDirectoryRecord* d = list.FirstDirectory()->Next();
    for (int k = 0; k < 500 && d != nullptr; ++k) {
      d = list.RemoveDirectoryRecord(d);
      if (d != nullptr) d = d->Next();
    }
  }
  Fill(random, 3000, 12);
  for (const char* pattern : {"*.T", "*AB*", "AB*", "*C"})
    ExpectSameRows(pattern);
}

}  // namespace
}  // namespace varnoke
