#include "db/twin_ordinals.h"

#include <gtest/gtest.h>

#include <vector>

#include "db/memory_db.h"
#include "tests/support/test_host.h"
#include "tests/support/tree_builder.h"

namespace varnoke {
namespace {

using testing::EnsureDirectory;
using Ordinals = std::vector<std::uint32_t>;
constexpr std::uint32_t kSole = TTwinOrdinals::kSoleName;

class TwinOrdinalsTest : public ::testing::Test {
 protected:
  Ordinals Of(const char* name, TDirectoryRecord* directory, bool isDirectory) {
    TTwinOrdinals twins(db.DDList());
    Ordinals ordinals{99};
    const bool any = twins.Compute(name, directory, isDirectory, ordinals);
    EXPECT_EQ(any, !ordinals.empty());
    return ordinals;
  }

  testing::TTestHost host;
  TMemoryDB db{host.Services()};
  std::lock_guard<std::recursive_mutex> guard{db.Lock};
};

TEST_F(TwinOrdinalsTest, ATreeWithoutTwinsNeedsNoOrdinals) {
  TDirectoryRecord* app = EnsureDirectory(db, "C:\\PROGRAM FILES\\APP");
  TFileEntry* file = db.DDList().AddFile("SETUP.INI", app);
  db.DDList().AddFile("OTHER.INI", app);
  EnsureDirectory(db, "C:\\PROGRAM FILES\\TOOLS");
  EXPECT_EQ(Of(file->Name(), app, false), Ordinals{});
  EXPECT_EQ(Of(app->NameAddress(), app->Parent(), true), Ordinals{});
  EXPECT_EQ(Of("C:", nullptr, true), Ordinals{});
  EXPECT_EQ(Of(nullptr, app, false), Ordinals{});
}

TEST_F(TwinOrdinalsTest, TwinsCountTheirEarlierSiblingsOfTheSameNameAndKind) {
  TDirectoryRecord* root = EnsureDirectory(db, "C:");
  TDirectoryRecord* caseDir = db.DDList().AddDirectory("CASE", root);
  TDirectoryRecord* d0 = db.DDList().AddDirectory("D", caseDir);
  db.DDList().AddDirectory("E", caseDir);
  TDirectoryRecord* d1 = db.DDList().AddDirectory("D", caseDir);
  TFileEntry* a = db.DDList().AddFile("A.TXT", d1);
  TFileEntry* b = db.DDList().AddFile("A.TXT", d1);
  TFileEntry* lone = db.DDList().AddFile("LONE.TXT", d0);
  EXPECT_EQ(Of(lone->Name(), d0, false), (Ordinals{kSole, 0, kSole}));
  // File entries count in chain order: the newest entry is the first.
  EXPECT_EQ(Of(b->Name(), d1, false), (Ordinals{kSole, 1, 0}));
  EXPECT_EQ(Of(a->Name(), d1, false), (Ordinals{kSole, 1, 1}));
  EXPECT_EQ(Of(d0->NameAddress(), caseDir, true), (Ordinals{kSole, 0}));
  EXPECT_EQ(Of(d1->NameAddress(), caseDir, true), (Ordinals{kSole, 1}));
}

TEST_F(TwinOrdinalsTest, AFileAndADirectoryOfOneNameAreTwinsOfDifferentKinds) {
  TDirectoryRecord* root = EnsureDirectory(db, "C:");
  TDirectoryRecord* docs = db.DDList().AddDirectory("DOCS", root);
  TFileEntry* file = db.DDList().AddFile("DOCS", root);
  TFileEntry* inside = db.DDList().AddFile("INSIDE.TXT", docs);
  EXPECT_EQ(Of(inside->Name(), docs, false), (Ordinals{0, kSole}));
  EXPECT_EQ(Of(file->Name(), root, false), (Ordinals{0}));
  EXPECT_EQ(Of(docs->NameAddress(), root, true), (Ordinals{0}));
}

TEST_F(TwinOrdinalsTest, ARowIsADirectoryRowOnlyWhenItsNameIsARecordsOwn) {
  TDirectoryRecord* root = EnsureDirectory(db, "C:");
  TDirectoryRecord* first = db.DDList().AddDirectory("DOCS", root);
  TDirectoryRecord* second = db.DDList().AddDirectory("DOCS", root);
  TFileEntry* file = db.DDList().AddFile("DOCS", root);
  TTwinOrdinals twins(db.DDList());
  EXPECT_TRUE(twins.RowIsDirectory(first->NameAddress(), root));
  EXPECT_TRUE(twins.RowIsDirectory(second->NameAddress(), root));
  EXPECT_FALSE(twins.RowIsDirectory(file->Name(), root));
  EXPECT_FALSE(twins.RowIsDirectory(nullptr, root));
  EXPECT_FALSE(twins.RowIsDirectory(root->NameAddress(), nullptr));
}

}  // namespace
}  // namespace varnoke
