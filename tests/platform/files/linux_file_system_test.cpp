#include "platform/files/linux_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/temp_drive.h"

namespace varnoke::platform {
namespace {

using testing::TTempDrive;
using Names = std::vector<std::string>;

Names ListedNames(const TDirectoryListing& listing) {
  Names names;
  for (std::size_t i = 0; i < listing.Size(); ++i)
    names.emplace_back(listing.Name(i));
  return names;
}

Names ReaddirOrder(const std::string& path) {
  Names names;
  DIR* dir = ::opendir(path.c_str());
  for (dirent* entry; dir != nullptr && (entry = ::readdir(dir)) != nullptr;) {
    names.emplace_back(entry->d_name);
  }
  if (dir != nullptr) ::closedir(dir);
  return names;
}

// Mounts for the length of a test, where the machine allows it.
class TMountGuard {
 public:
  TMountGuard(const char* source, const std::string& target, const char* type, unsigned long flags)
      : target_(target), mounted_(::mount(source, target.c_str(), type, flags, nullptr) == 0) {}
  ~TMountGuard() {
    if (mounted_) ::umount2(target_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }

 private:
  std::string target_;
  bool mounted_;
};

class LinuxFileSystemTest : public ::testing::Test {
 protected:
  bool List(const std::string& path, bool withSizes = false) {
    return drive.Files().ListDirectory(path, withSizes, listing);
  }
  std::uint32_t AttributesOf(const std::string& name) const {
    for (std::size_t i = 0; i < listing.Size(); ++i) {
      if (listing.Name(i) == name) return listing.At(i).Attributes;
    }
    ADD_FAILURE() << name << " is not listed";
    return 0xFFFFFFFF;
  }
  std::uint32_t SizeOf(const std::string& name) const {
    for (std::size_t i = 0; i < listing.Size(); ++i) {
      if (listing.Name(i) == name) return listing.At(i).Size;
    }
    ADD_FAILURE() << name << " is not listed";
    return 0;
  }

  TTempDrive drive;
  TDirectoryListing listing;
};

TEST_F(LinuxFileSystemTest, ListsEveryEntryInTheHostsOrderWithTheDotEntries) {
  drive.MakeFile("b.txt");
  drive.MakeFile("a.txt");
  drive.MakeFile(".hidden");
  drive.MakeDirectory("dir");
  ASSERT_EQ(::symlink("dir", drive.Host("link").c_str()), 0);
  ASSERT_TRUE(List("C:\\"));
  EXPECT_EQ(ListedNames(listing), ReaddirOrder(drive.Root()));
  EXPECT_EQ(listing.Size(), 7u);
  EXPECT_EQ(AttributesOf("."), kFileAttributeDirectory);
  EXPECT_EQ(AttributesOf(".."), kFileAttributeDirectory);
  EXPECT_EQ(AttributesOf("dir"), kFileAttributeDirectory);
  EXPECT_EQ(AttributesOf("link"), 0u);  // a symbolic link is a file
  EXPECT_EQ(AttributesOf("a.txt"), 0u);
}

TEST_F(LinuxFileSystemTest, ReadsSizesOnlyWhenAskedAndKeepsTheirLow32Bits) {
  drive.MakeFile("small", std::string(5000, 'x'));
  const std::string big = drive.Host("sparse");
  const int fd = ::open(big.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, (off_t{5} << 30)), 0);  // 5 GiB, nothing written
  ::close(fd);
  drive.MakeDirectory("dir");
  ASSERT_TRUE(List("C:\\", true));
  EXPECT_EQ(SizeOf("small"), 5000u);
  EXPECT_EQ(SizeOf("sparse"), 1u << 30);
  EXPECT_EQ(SizeOf("dir"), 0u);
  ASSERT_TRUE(List("C:\\", false));
  EXPECT_EQ(SizeOf("small"), 0u);
}

TEST_F(LinuxFileSystemTest, NeverFollowsASymbolicLink) {
  drive.MakeFile("real/inside.txt");
  ASSERT_EQ(::symlink("real", drive.Host("link").c_str()), 0);
  ASSERT_EQ(::symlink(".", drive.Host("real/loop").c_str()), 0);
  EXPECT_FALSE(List("C:\\link\\"));
  EXPECT_TRUE(listing.Size() == 0);
  EXPECT_FALSE(List("C:\\real\\loop\\"));
  EXPECT_TRUE(List("C:\\real\\"));
}

TEST_F(LinuxFileSystemTest, MatchesComponentsCaseBlindPreferringTheExactName) {
  drive.MakeFile("Program Files/App/x.exe");
  ASSERT_TRUE(List("C:\\PROGRAM FILES\\app\\"));
  EXPECT_EQ(AttributesOf("x.exe"), 0u);

  drive.MakeFile("Foo/in-Foo");
  drive.MakeFile("FOO/in-FOO");
  ASSERT_TRUE(List("C:\\FOO\\"));
  EXPECT_EQ(AttributesOf("in-FOO"), 0u);
  ASSERT_TRUE(List("C:\\Foo\\"));
  EXPECT_EQ(AttributesOf("in-Foo"), 0u);
  EXPECT_FALSE(List("C:\\nosuch\\"));
}

TEST_F(LinuxFileSystemTest, ListsPathsFarLongerThanTheSystemLimit) {
  std::string relative;
  std::string drivePath = "C:\\";
  const std::string name(40, 'n');
  for (int i = 0; i < 200; ++i) {  // about 8,200 bytes
    relative += (relative.empty() ? "" : "/") + name;
    drivePath += name + "\\";
    ASSERT_EQ(::mkdirat(AT_FDCWD, (drive.Root() + "/" + relative).c_str(), 0755) == 0 ||
                  errno == ENAMETOOLONG,
              true);
  }
  // mkdir by path gives up beyond PATH_MAX; build the rest relative to fds.
  int fd = ::open(drive.Root().c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < 200; ++i) {
    ::mkdirat(fd, name.c_str(), 0755);
    const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
  }
  ::close(::openat(fd, "leaf", O_CREAT | O_WRONLY, 0644));
  ::close(fd);
  ASSERT_TRUE(List(drivePath));
  EXPECT_EQ(AttributesOf("leaf"), 0u);
  // A wildcard deletion asks whether each entry is still there: one this
  // deep is, in any case.
  EXPECT_TRUE(drive.Files().FileExists(drivePath + "leaf"));
  EXPECT_TRUE(drive.Files().FileExists(drivePath + "LEAF"));
  EXPECT_FALSE(drive.Files().FileExists(drivePath + "gone"));
}

TEST_F(LinuxFileSystemTest, TellsWhatExistsMatchingCaseBlind) {
  drive.MakeFile("Docs/Sub/a.txt");
  ::symlink("nowhere", (drive.Root() + "/Docs/dangling").c_str());
  const TFileSystem& files = drive.Files();
  EXPECT_TRUE(files.FileExists("C:\\"));
  EXPECT_TRUE(files.FileExists("C:\\Docs\\Sub\\a.txt"));
  EXPECT_TRUE(files.FileExists("c:\\DOCS\\SUB\\A.TXT"));
  EXPECT_TRUE(files.FileExists("C:\\DOCS\\SUB\\"));
  EXPECT_TRUE(files.FileExists("C:\\DOCS\\DANGLING"));  // a link counts as itself
  EXPECT_FALSE(files.FileExists("C:\\DOCS\\B.TXT"));
  EXPECT_FALSE(files.FileExists("C:\\NOSUCH\\A.TXT"));
  EXPECT_FALSE(files.FileExists("C:\\DOCS\\SUB\\A.TXT\\X"));  // a file holds nothing
  EXPECT_FALSE(files.FileExists("Q:\\A.TXT"));                // no such drive
}

// Walking deep and then back up to a directory whose descriptor was given up
// to stay within the limit opens it again.
TEST_F(LinuxFileSystemTest, ReopensDirectoriesClosedToStayWithinTheLimit) {
  std::string deep = "top";
  for (std::size_t i = 0; i < TLinuxFileSystem::kMaxOpenLevels * 2; ++i)
    deep += "/d";
  drive.MakeDirectory(deep);
  drive.MakeFile("top/d/d/sibling/x");
  std::string drivePath = "C:\\top\\";
  for (std::size_t i = 0; i < TLinuxFileSystem::kMaxOpenLevels * 2; ++i) {
    drivePath += "d\\";
    ASSERT_TRUE(List(drivePath));
  }
  ASSERT_TRUE(List("C:\\top\\d\\d\\sibling\\"));
  EXPECT_EQ(AttributesOf("x"), 0u);
}

TEST_F(LinuxFileSystemTest, RefusesADirectoryReplacedWhileItsDescriptorWasClosed) {
  std::string deep = "top/mid";
  for (std::size_t i = 0; i < TLinuxFileSystem::kMaxOpenLevels * 2; ++i)
    deep += "/d";
  drive.MakeDirectory(deep);
  drive.MakeDirectory("top/mid/other");
  std::string drivePath = "C:\\top\\mid\\";
  for (std::size_t i = 0; i < TLinuxFileSystem::kMaxOpenLevels * 2; ++i) {
    drivePath += "d\\";
    ASSERT_TRUE(List(drivePath));
  }
  ASSERT_EQ(::rename(drive.Host("top/mid").c_str(), drive.Host("top/moved").c_str()), 0);
  drive.MakeDirectory("top/mid/other");
  drive.MakeFile("top/mid/other/impostor");
  // Within one walk the directory it opened is the one it goes on with: the
  // new "mid" is another directory, not its continuation.
  EXPECT_FALSE(List("C:\\top\\mid\\other\\"));
  // A walk from the root starts afresh and finds the new one.
  ASSERT_TRUE(List("C:\\"));
  ASSERT_TRUE(List("C:\\top\\mid\\other\\"));
  EXPECT_EQ(AttributesOf("impostor"), 0u);
}

// A descriptor handed out shares its place in the directory with the one
// the file system keeps: read to the end through it, the next listing of
// that directory still lists every entry.
TEST_F(LinuxFileSystemTest, ListsAllOfADirectoryWhoseDescriptorWasReadElsewhere) {
  drive.MakeFile("a.txt");
  drive.MakeDirectory("sub");
  TLinuxFileSystem& files = drive.Files();
  for (const char* path : {"C:\\", "C:\\sub\\"}) {
    TUniqueFd fd = files.OpenDirectory(path);
    ASSERT_TRUE(fd.Valid()) << path;
    ASSERT_TRUE(files.ListOpenDirectory(fd.Get(), listing));
    const Names expected = ListedNames(listing);
    ASSERT_TRUE(List(path));
    EXPECT_EQ(ListedNames(listing), expected) << path;
    bool read = false;
    ASSERT_TRUE(files.InspectDirectory(
        path, false, [](int) { return true; }, listing, read));
    EXPECT_TRUE(read);
    EXPECT_EQ(ListedNames(listing), expected) << path;
  }
}

TEST_F(LinuxFileSystemTest, DoesNotEnterAMountThatIsNotAFixedDisk) {
  drive.MakeDirectory("ram");
  drive.MakeFile("ram-file-below");
  TMountGuard ram("none", drive.Host("ram"), "tmpfs", 0);
  if (!ram.Mounted()) GTEST_SKIP() << "this machine does not let the test mount";
  drive.MakeFile("ram/inside.txt");
  ASSERT_TRUE(List("C:\\"));
  EXPECT_EQ(AttributesOf("ram"), kFileAttributeDirectory);  // listed like any directory
  EXPECT_FALSE(List("C:\\ram\\"));
}

TEST_F(LinuxFileSystemTest, DoesNotLoopThroughABindMountOfAnAncestor) {
  drive.MakeDirectory("sub/loop");
  TMountGuard bind(drive.Root().c_str(), drive.Host("sub/loop"), nullptr, MS_BIND);
  if (!bind.Mounted()) GTEST_SKIP() << "this machine does not let the test mount";
  EXPECT_FALSE(List("C:\\sub\\loop\\"));
  EXPECT_TRUE(List("C:\\sub\\"));
}

TEST_F(LinuxFileSystemTest, EntersABindMountOfAnotherDirectoryOfTheSameDisk) {
  drive.MakeFile("elsewhere/x");
  drive.MakeDirectory("sub/bound");
  TMountGuard bind(drive.Host("elsewhere").c_str(), drive.Host("sub/bound"), nullptr, MS_BIND);
  if (!bind.Mounted()) GTEST_SKIP() << "this machine does not let the test mount";
  ASSERT_TRUE(List("C:\\sub\\bound\\"));
  EXPECT_EQ(AttributesOf("x"), 0u);
}

TEST_F(LinuxFileSystemTest, SurvivesADirectoryThatVanished) {
  drive.MakeDirectory("gone/sub");
  ASSERT_TRUE(List("C:\\gone\\sub\\"));
  ASSERT_EQ(::rmdir(drive.Host("gone/sub").c_str()), 0);
  ASSERT_EQ(::rmdir(drive.Host("gone").c_str()), 0);
  EXPECT_TRUE(!List("C:\\gone\\sub\\") || listing.Size() == 0);
  ASSERT_TRUE(List("C:\\"));
  EXPECT_EQ(listing.Size(), 2u);
}

TEST_F(LinuxFileSystemTest, ConvertsTheDriveFormToTheHostForm) {
  drive.MakeFile("Home/Anna/Notes.txt");
  TLinuxFileSystem& files = drive.Files();
  EXPECT_EQ(files.HostPath("C:\\HOME\\ANNA\\NOTES.TXT"), drive.Host("Home/Anna/Notes.txt"));
  EXPECT_EQ(files.HostPath("c:\\home\\anna\\"), drive.Host("Home/Anna"));
  EXPECT_EQ(files.HostPath("C:\\HOME\\NEW.TXT"), drive.Host("Home/NEW.TXT"));
  EXPECT_EQ(files.HostPath("C:\\"), drive.Root());
  EXPECT_EQ(files.HostPath("Q:\\X"), "");
}

TEST_F(LinuxFileSystemTest, RejectsMalformedDrivePaths) {
  EXPECT_FALSE(List("C:"));
  EXPECT_FALSE(List("C:\\a\\\\b\\"));
  EXPECT_FALSE(List("\\a\\"));
  EXPECT_FALSE(List("1:\\"));
  EXPECT_FALSE(List("Q:\\"));  // no link
}

}  // namespace
}  // namespace varnoke::platform
