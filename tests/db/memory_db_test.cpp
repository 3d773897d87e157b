#include "db/memory_db.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/support/fake_drives.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/test_host.h"
#include "tests/support/tree_builder.h"

namespace varnoke {
namespace {

using platform::TDriveType;
using testing::EnsureDirectory;

class MemoryDBTest : public ::testing::Test {
 protected:
  MemoryDBTest() {
    drives.Set('C', TDriveType::Fixed);
    drives.Set('A', TDriveType::Removable);
    drives.Set('E', TDriveType::CdRom);
    std::lock_guard guard(db.Lock);
    system = EnsureDirectory(db, "C:\\WINDOWS\\SYSTEM");
    windows = system->Parent();
    root = windows->Parent();
  }

  testing::TTestHost host;
  testing::TFakeDrives& drives = host.drives;
  testing::TMemoryFileSystem& files = host.files;
  TMemoryDB db{host.Services()};
  TDirectoryRecord* root = nullptr;
  TDirectoryRecord* windows = nullptr;
  TDirectoryRecord* system = nullptr;
};

TEST_F(MemoryDBTest, DirectoryPathJoinsTheChainWithATrailingBackslash) {
  std::lock_guard guard(db.Lock);
  EXPECT_EQ(db.DirectoryPath(nullptr), "");
  EXPECT_EQ(db.DirectoryPath(root), "C:\\");
  EXPECT_EQ(db.DirectoryPath(system), "C:\\WINDOWS\\SYSTEM\\");
  TDirectoryRecord* d = db.DDList().AddDirectory("D:", nullptr);
  EXPECT_EQ(db.DirectoryPath(d), "D:\\");
}

TEST_F(MemoryDBTest, DirectoryPathOfAVeryDeepChain) {
  std::lock_guard guard(db.Lock);
  TDirectoryRecord* d = root;
  for (int i = 0; i < 10000; ++i)
    d = db.DDList().AddDirectory("D", d);
  const std::string path = db.DirectoryPath(d);
  EXPECT_EQ(path.size(), 3 + 10000 * 2u);
  EXPECT_EQ(path.substr(0, 7), "C:\\D\\D\\");
}

TEST_F(MemoryDBTest, ResolvePathSplitsAndLooksUpCaseBlind) {
  std::lock_guard guard(db.Lock);
  struct Row {
    const char* path;
    const char* name;
    TDirectoryRecord* directory;
  } rows[] = {
      {"c:\\windows\\system\\foo.dll", "FOO.DLL", system},
      {"C:\\WINDOWS\\", "", windows},
      {"C:\\", "", root},
      {"c:\\Windows\\Win.ini", "WIN.INI", windows},
      {"C:\\TEMP\\A.TXT", "A.TXT", nullptr},
      {"C:\\\\WINDOWS\\X", "X", nullptr},
      {"\\WINDOWS\\X", "X", nullptr},
      {"WINDOWS\\X", "X", nullptr},
      {"readme.txt", "README.TXT", nullptr},
      {"", "", nullptr},
  };
  for (const Row& row : rows) {
    const TResolvedPath resolved = db.ResolvePath(row.path);
    EXPECT_EQ(resolved.Name, row.name) << row.path;
    EXPECT_EQ(resolved.Directory, row.directory) << row.path;
  }
}

TEST_F(MemoryDBTest, FindDirectoryNeedsTheRightParent) {
  std::lock_guard guard(db.Lock);
  EXPECT_EQ(db.FindDirectory("SYSTEM", nullptr), nullptr);
  EXPECT_EQ(db.FindDirectory("SYSTEM", windows), system);
}

TEST_F(MemoryDBTest, IsFixedDrivePathAsksForTheDriveOfThePath) {
  EXPECT_TRUE(db.IsFixedDrivePath("C:\\DIR\\X.TXT"));
  EXPECT_TRUE(db.IsFixedDrivePath("c:\\"));
  EXPECT_FALSE(db.IsFixedDrivePath("C:"));  // no "\"
  EXPECT_FALSE(db.IsFixedDrivePath("README.TXT"));
  EXPECT_FALSE(db.IsFixedDrivePath("A:\\X"));  // floppy
  EXPECT_FALSE(db.IsFixedDrivePath("E:\\X"));  // CD-ROM
  EXPECT_FALSE(db.IsFixedDrivePath("F:\\X"));  // no such drive
  EXPECT_FALSE(db.IsFixedDrivePath("\\X"));
  EXPECT_FALSE(db.IsFixedDrivePath("CC:\\X"));
}

TEST_F(MemoryDBTest, TheLockIsRecursive) {
  std::lock_guard outer(db.Lock);
  std::lock_guard inner(db.Lock);
  // A search takes the lock again on the thread that holds it.
  db.Search("*");
  EXPECT_EQ(db.ResultCount(), 0);
  EXPECT_EQ(db.ResultName(0), "");
}

TEST_F(MemoryDBTest, TheLockKeepsOtherThreadsOut) {
  const auto otherThreadGetsIt = [&] {
    bool taken = false;
    std::thread other([&] {
      taken = db.Lock.try_lock();
      if (taken) db.Lock.unlock();
    });
    other.join();
    return taken;
  };
  {
    std::lock_guard held(db.Lock);
    EXPECT_FALSE(otherThreadGetsIt());
  }
  EXPECT_TRUE(otherThreadGetsIt());
}

}  // namespace
}  // namespace varnoke
