#include "platform/drives/linux_drives.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/temp_drive.h"

namespace varnoke::platform {
namespace {

using testing::TTempDrive;

TEST(LinuxDrives, AnOverrideDecidesTheTypeOfADriveThatHasARoot) {
  TTempDrive drive;
  EXPECT_EQ(drive.Drives().GetDriveType("C:\\"), TDriveType::Fixed);
  EXPECT_EQ(drive.Drives().GetDriveType("c:\\"), TDriveType::Fixed);
  drive.Overrides().Set('C', TDriveType::CdRom);
  EXPECT_EQ(drive.Drives().GetDriveType("C:\\"), TDriveType::CdRom);
  drive.Overrides().Set('Q', TDriveType::Fixed);  // but Q has no link
  EXPECT_EQ(drive.Drives().GetDriveType("Q:\\"), TDriveType::NoRootDirectory);
}

TEST(LinuxDrives, WithoutAnOverrideTheMountDecides) {
  TTempDrive drive;
  drive.AddDrive('D', "other");
  const TDriveType type = drive.Drives().GetDriveType("D:\\");
  EXPECT_NE(type, TDriveType::NoRootDirectory);
  TMountTable mounts;
  EXPECT_EQ(type, mounts.TypeOfPath(drive.TempPath() + "/other"));
}

TEST(LinuxDrives, ALetterWithoutAUsableRootHasNoRootDirectory) {
  TTempDrive drive;
  const std::string links = drive.TempPath() + "/dosdevices";
  ASSERT_EQ(::symlink("/nonexistent/nowhere", (links + "/e:").c_str()), 0);
  drive.MakeFile("plain-file");
  ASSERT_EQ(::symlink(drive.Host("plain-file").c_str(), (links + "/f:").c_str()), 0);
  drive.Overrides().Set('E', TDriveType::Fixed);
  EXPECT_EQ(drive.Drives().GetDriveType("E:\\"), TDriveType::NoRootDirectory);
  EXPECT_EQ(drive.Drives().GetDriveType("F:\\"), TDriveType::NoRootDirectory);
  EXPECT_EQ(drive.Drives().GetDriveType("G:\\"), TDriveType::NoRootDirectory);
  for (const char* malformed : {"C:", "C:\\X", "CC:\\", "", "1:\\", "C;\\"}) {
    EXPECT_EQ(drive.Drives().GetDriveType(malformed), TDriveType::NoRootDirectory) << malformed;
  }
}

TEST(LinuxDrives, FollowsALinkThatChangesWhileRunning) {
  TTempDrive drive;
  EXPECT_EQ(drive.Drives().HostRoot('C'), drive.Root());
  const std::string other = drive.AddDrive('C', "replacement");
  EXPECT_EQ(drive.Drives().HostRoot('C'), other);
}

TEST(LinuxDrives, ReportsTheGeometryOfTheRootsFileSystem) {
  TTempDrive drive;
  TDiskSpace space;
  ASSERT_TRUE(drive.Drives().GetDiskFreeSpace("C:\\", space));
  struct statvfs info {};
  ASSERT_EQ(::statvfs(drive.Root().c_str(), &info), 0);
  EXPECT_EQ(space.BytesPerSector, 512u);
  EXPECT_EQ(std::uint64_t{space.SectorsPerCluster} * 512,
            std::max<std::uint64_t>(info.f_frsize, 512));
  EXPECT_LE(space.NumberOfFreeClusters, space.TotalNumberOfClusters);
  EXPECT_GT(space.TotalNumberOfClusters, 0u);
  EXPECT_FALSE(drive.Drives().GetDiskFreeSpace("Q:\\", space));
}

TEST(DriveTypeNames, AreReadCaseBlind) {
  EXPECT_EQ(ParseDriveTypeName("fixed"), TDriveType::Fixed);
  EXPECT_EQ(ParseDriveTypeName("CDROM"), TDriveType::CdRom);
  EXPECT_EQ(ParseDriveTypeName("RamDisk"), TDriveType::RamDisk);
  EXPECT_EQ(ParseDriveTypeName("removable"), TDriveType::Removable);
  EXPECT_EQ(ParseDriveTypeName("remote"), TDriveType::Remote);
  EXPECT_EQ(ParseDriveTypeName("floppy"), std::nullopt);
  EXPECT_EQ(ParseDriveTypeName(""), std::nullopt);
}

}  // namespace
}  // namespace varnoke::platform
