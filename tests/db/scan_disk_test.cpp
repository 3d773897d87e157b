// The scan on real directories of a temporary drive.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "db/memory_db.h"
#include "platform/drives/drive_overlaps.h"
#include "platform/upcase.h"
#include "tests/support/recording_observer.h"
#include "tests/support/temp_drive.h"
#include "tests/support/tree_dump.h"

namespace varnoke {
namespace {

using Paths = std::set<std::string>;

// Every path the scan should record below host (drive form "prefix"),
// walked independently of the code under test: plain readdir, lstat.
void ExpectedPaths(const std::string& host, const std::string& prefix, Paths& out) {
  DIR* dir = ::opendir(host.c_str());
  if (dir == nullptr) return;
  for (dirent* entry; (entry = ::readdir(dir)) != nullptr;) {
    const std::string name = entry->d_name;
    if (name[0] == '.' || name.find('\\') != std::string::npos) continue;
    const std::string path = prefix + platform::UpperCase(name);
    struct stat st {};
    ::lstat((host + "/" + name).c_str(), &st);
    if (S_ISDIR(st.st_mode)) {
      out.insert(path + "\\");
      ExpectedPaths(host + "/" + name, path + "\\", out);
    } else {
      out.insert(path);
    }
  }
  ::closedir(dir);
}

Paths ScannedPaths(TMemoryDB& db) {
  std::lock_guard guard(db.Lock);
  Paths paths;
  for (const TDirectoryRecord* d = db.DDList().FirstDirectory(); d != nullptr; d = d->Next()) {
    if (d->Parent() != nullptr) paths.insert(db.DirectoryPath(d));
    for (const TFileEntry* e = d->Files(); e != nullptr; e = e->Next()) {
      paths.insert(db.DirectoryPath(d) + e->Name());
    }
  }
  return paths;
}

class ScanDiskTest : public ::testing::Test {
 protected:
  void Scan() { db.ScanDrives(drive.DatabasePath(), observer); }

  testing::TTempDrive drive;
  TMemoryDB db{drive.Services()};
  testing::TRecordingObserver observer;
};

TEST_F(ScanDiskTest, RecordsExactlyWhatTheDiskHolds) {
  drive.MakeFile("Program Files/App/app.exe", "12345");
  drive.MakeFile("Windows/System/vga.drv");
  drive.MakeFile("Windows/win.ini");
  drive.MakeFile(".cache/skip/me");
  drive.MakeFile("home/.profile");
  drive.MakeFile("home/caf\xC3\xA9 \xFF.txt");
  drive.MakeFile("home/back\\slash");
  drive.MakeDirectory("empty");
  ASSERT_EQ(::symlink("..", drive.Host("home/up").c_str()), 0);
  ASSERT_EQ(::symlink("/", drive.Host("root-link").c_str()), 0);
  Scan();
  Paths expected;
  ExpectedPaths(drive.Root(), "C:\\", expected);
  EXPECT_EQ(ScannedPaths(db), expected);
  EXPECT_EQ(expected.count("C:\\HOME\\UP"), 1u);  // the link is a file
  EXPECT_EQ(expected.count("C:\\HOME\\CAF\xC3\x89 \xFF.TXT"), 1u);
}

TEST_F(ScanDiskTest, KeepsTheListingOrderOfTheDisk) {
  for (const char* name : {"m", "c", "x", "a", "q"})
    drive.MakeFile(std::string("d/") + name);
  Scan();
  // Files stand in the reverse of the order the disk lists them.
  std::string expected = "C:\\D\\";
  std::vector<std::string> listed;
  DIR* dir = ::opendir(drive.Host("d").c_str());
  for (dirent* e; (e = ::readdir(dir)) != nullptr;) {
    if (e->d_name[0] != '.') listed.insert(listed.begin(), platform::UpperCase(e->d_name));
  }
  ::closedir(dir);
  for (const std::string& name : listed)
    expected += " " + name;
  EXPECT_EQ(testing::DumpTree(db).at(1), expected);
}

TEST_F(ScanDiskTest, DoesNotEnterMountsThatAreNotFixedDisks) {
  drive.MakeDirectory("ram");
  drive.MakeFile("keep.txt");
  if (::mount("none", drive.Host("ram").c_str(), "tmpfs", 0, nullptr) != 0) {
    GTEST_SKIP() << "this machine does not let the test mount";
  }
  drive.MakeFile("ram/inside.txt");
  Scan();
  ::umount2(drive.Host("ram").c_str(), MNT_DETACH);
  EXPECT_EQ(ScannedPaths(db), (Paths{"C:\\KEEP.TXT", "C:\\RAM\\"}));
}

TEST_F(ScanDiskTest, ScansATreeTenThousandDirectoriesDeep) {
  int fd = ::open(drive.Root().c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < 10000; ++i) {
    ::mkdirat(fd, "d", 0755);
    if (i == 5000) ::mkdirat(fd, "side", 0755);  // to be reached after the deep branch
    const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
  }
  ::close(::openat(fd, "leaf", O_CREAT | O_WRONLY, 0644));
  ::close(fd);
  Scan();
  std::lock_guard guard(db.Lock);
  EXPECT_EQ(db.DDList().DirectoryCount(), 10002u);
  const TDirectoryRecord* last = db.DDList().FirstDirectory();
  std::size_t depth = 0;
  for (const TDirectoryRecord* d = last; d != nullptr; d = d->Next()) {
    if (d->Name() == "D") {
      last = d;
      ++depth;
    }
  }
  EXPECT_EQ(depth, 10000u);
  ASSERT_NE(last->Files(), nullptr);
  EXPECT_STREQ(last->Files()->Name(), "LEAF");
  EXPECT_NE(db.FindDirectory("SIDE", nullptr), last);  // any "SIDE" parent is fine
  bool sideFound = false;
  for (const TDirectoryRecord* d = db.DDList().FirstDirectory(); d != nullptr; d = d->Next()) {
    sideFound = sideFound || d->Name() == "SIDE";
  }
  EXPECT_TRUE(sideFound);
}

}  // namespace
}  // namespace varnoke

namespace varnoke {
namespace {

// A "d:" link into C:'s tree and an "e:" link to C:'s own root: each folder
// is listed once, under the drive that the reports of changes in it name.
TEST_F(ScanDiskTest, AFolderReachedThroughTwoDrivesIsListedUnderOneOnly) {
  drive.MakeFile("home/data/report.txt");
  drive.MakeFile("home/notes.txt");
  const std::string data = drive.Host("home/data");
  const std::string links = drive.Host() + "/../dosdevices";
  ASSERT_EQ(::symlink(data.c_str(), (links + "/d:").c_str()), 0);
  ASSERT_EQ(::symlink(drive.Root().c_str(), (links + "/e:").c_str()), 0);
  drive.Overrides().Set('D', platform::TDriveType::Fixed);
  drive.Overrides().Set('E', platform::TDriveType::Fixed);

  std::vector<std::string> said;
  for (const platform::TDriveOverlap& overlap : platform::FindDriveOverlaps(drive.Drives()))
    said.push_back(platform::DescribeDriveOverlap(overlap));
  EXPECT_EQ(said,
            (std::vector<std::string>{
                "drive D: is the folder C:\\home\\data\\; its contents are kept under D: only",
                "drive E: is the same folder as C:\\; its contents are kept under C: only"}));

  Scan();
  EXPECT_EQ(ScannedPaths(db),
            (Paths{"C:\\HOME\\", "C:\\HOME\\DATA\\", "C:\\HOME\\NOTES.TXT", "D:\\REPORT.TXT"}));
}

}  // namespace
}  // namespace varnoke
