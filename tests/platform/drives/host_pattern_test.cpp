#include "platform/drives/host_pattern.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/temp_drive.h"

namespace varnoke::platform {
namespace {

using testing::TTempDrive;
using TKind = THostPattern::TKind;

TEST(DrivePath, TakesAHostPathToTheDriveWithTheLongestRootThatHoldsIt) {
  TTempDrive drive;
  drive.MakeFile("Home/Anna/Notes.txt");
  const TLinuxDrives& drives = drive.Drives();
  EXPECT_EQ(drives.DrivePath(drive.Host("Home/Anna")), "C:\\Home\\Anna");
  EXPECT_EQ(drives.DrivePath(drive.Root()), "C:\\");
  const std::string nested = drive.AddDrive('D', "disk/Home");
  EXPECT_EQ(drives.DrivePath(nested + "/Anna/Notes.txt"), "D:\\Anna\\Notes.txt");
  EXPECT_EQ(drives.DrivePath(drive.Host("back\\slash")), std::nullopt);
  EXPECT_EQ(drives.DrivePath(drive.TempPath() + "/elsewhere"), std::nullopt);
  EXPECT_EQ(drives.DrivePath(drive.Root() + "-sibling/x"), std::nullopt);
}

class HostPatternTest : public ::testing::Test {
 protected:
  THostPattern Map(const std::string& pattern) {
    return MapHostPattern(drive.Drives(), pattern, drive.Host("home/anna"));
  }
  TTempDrive drive;
};

TEST_F(HostPatternTest, OnlyAbsoluteAndHomePathsAreHostPaths) {
  EXPECT_TRUE(IsHostPathPattern("/etc/*.conf"));
  EXPECT_TRUE(IsHostPathPattern("~/Documents/*.pdf"));
  EXPECT_TRUE(IsHostPathPattern("/"));
  for (const char* other : {"*.conf", "~", "~anna/x", "C:\\ETC\\*", ".etc", "etc/*.conf", ""})
    EXPECT_FALSE(IsHostPathPattern(other)) << other;
}

TEST_F(HostPatternTest, MapsTheFolderToAPathQualifiedSearchOfItsDrive) {
  drive.MakeFile("Etc/Apt/sources.list");
  drive.MakeDirectory("home/anna/Documents");
  const THostPattern etc = Map(drive.Host("Etc") + "/*.conf");
  EXPECT_EQ(etc.Kind, TKind::Mapped);
  EXPECT_EQ(etc.DrivePattern, "C:\\Etc\\*.conf");
  EXPECT_EQ(etc.Directory, drive.Host("Etc"));
  // Letter case below the root is the tree's business, where it never
  // matters: a folder the disk spells otherwise is taken as written.
  EXPECT_EQ(Map(drive.Host("ETC/APT") + "/*.LIST").DrivePattern, "C:\\ETC\\APT\\*.LIST");
  // "." and "..", doubled slashes, and the root itself.
  EXPECT_EQ(Map(drive.Host("Etc/./Apt/../Apt//") + "/s*").DrivePattern, "C:\\Etc\\Apt\\s*");
  EXPECT_EQ(Map(drive.Root() + "/*.txt").DrivePattern, "C:\\*.txt");
  const THostPattern home = Map("~/Documents/*.pdf");
  EXPECT_EQ(home.DrivePattern, "C:\\home\\anna\\Documents\\*.pdf");
  EXPECT_EQ(home.Directory, "~/Documents");
}

TEST_F(HostPatternTest, FollowsSymbolicLinksToTheFolderTheyName) {
  drive.MakeDirectory("real/Inside");
  const std::string link = drive.TempPath() + "/outside-link";
  ASSERT_EQ(::symlink(drive.Host("real").c_str(), link.c_str()), 0);
  EXPECT_EQ(Map(link + "/Inside/*.txt").DrivePattern, "C:\\real\\Inside\\*.txt");
  // The part that exists is resolved, the rest taken as written.
  EXPECT_EQ(Map(link + "/INSIDE/Deeper/*").DrivePattern, "C:\\real\\INSIDE\\Deeper\\*");
}

TEST_F(HostPatternTest, AFolderOutsideEveryDriveIsNoDrives) {
  const THostPattern outside = Map(drive.TempPath() + "/elsewhere/*.txt");
  EXPECT_EQ(outside.Kind, TKind::NoDrive);
  EXPECT_EQ(outside.Directory, drive.TempPath() + "/elsewhere");
  EXPECT_EQ(Map(drive.Host("back\\slash") + "/*").Kind, TKind::Unindexable);
  // With the whole file system as drive C:, every folder has a drive.
  ::unlink((drive.TempPath() + "/dosdevices/c:").c_str());
  ASSERT_EQ(::symlink("/", (drive.TempPath() + "/dosdevices/c:").c_str()), 0);
  EXPECT_EQ(Map("/etc/*.conf").DrivePattern, "C:\\etc\\*.conf");
  EXPECT_EQ(Map("/*").DrivePattern, "C:\\*");
}

TEST(HiddenNames, AreComponentsThatBeginWithAFullStop) {
  for (const char* hidden :
       {".bashrc", "~/.config/*.conf", "/home/a/.cache/x", "C:\\HOME\\.SSH\\*", ".sys*"})
    EXPECT_TRUE(NamesHiddenEntry(hidden)) << hidden;
  for (const char* plain : {"*.txt", "/etc/./x", "../x/*", ".", "C:\\A.B\\*", "a.b"})
    EXPECT_FALSE(NamesHiddenEntry(plain)) << plain;
}

}  // namespace
}  // namespace varnoke::platform
