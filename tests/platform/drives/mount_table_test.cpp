#include "platform/drives/mount_table.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/temp_dir.h"

namespace varnoke::platform {
namespace {

TEST(ParseMountInfo, ReadsDeviceMountPointTypeAndSource) {
  const std::vector<TMount> mounts = ParseMountInfo(
      "26 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
      "36 35 98:0 /mnt1 /mnt/with\\040space rw,noatime master:1 shared:2 - ext3 /dev/root rw\n"
      "garbage line\n"
      "40 30 0:37 / /sys/fs/cgroup/unified rw,relatime - cgroup2 cgroup2 rw\n");
  ASSERT_EQ(mounts.size(), 3u);
  EXPECT_EQ(mounts[0].MountPoint, "/");
  EXPECT_EQ(mounts[0].FsType, "ext4");
  EXPECT_EQ(mounts[0].Source, "/dev/vda");
  EXPECT_EQ(mounts[0].Major, 254u);
  EXPECT_EQ(mounts[0].Minor, 0u);
  EXPECT_EQ(mounts[1].MountPoint, "/mnt/with space");
  EXPECT_EQ(mounts[1].FsType, "ext3");
  EXPECT_EQ(mounts[2].FsType, "cgroup2");
}

// A sysfs of the test's own: block devices as links to device folders,
// each disk with its "removable" flag.
class ClassifyTest : public ::testing::Test {
 protected:
  ClassifyTest() {
    devices.SysRoot = temp.Path() + "/sys";
    devices.DevRoot = temp.Path() + "/dev";
    Disk("8:0", "pci0000:00/ata1/host0/block/sda", "0");
    Partition("8:1", "pci0000:00/ata1/host0/block/sda/sda1");
    Disk("8:16", "pci0000:00/usb2/2-1/host6/block/sdb", "0");
    Partition("8:17", "pci0000:00/usb2/2-1/host6/block/sdb/sdb1");
    Disk("8:32", "pci0000:00/ata2/host1/block/sdc", "1");
    Disk("252:0", "virtual/block/zram0", "0");
  }

  void Disk(const std::string& device, const std::string& folder, const std::string& removable) {
    Partition(device, folder);
    std::ofstream(devices.SysRoot + "/devices/" + folder + "/removable") << removable << "\n";
  }
  void Partition(const std::string& device, const std::string& folder) {
    const std::string full = devices.SysRoot + "/devices/" + folder;
    ASSERT_EQ(std::system(("mkdir -p '" + full + "' '" + devices.SysRoot + "/dev/block'").c_str()),
              0);
    ::symlink(full.c_str(), (devices.SysRoot + "/dev/block/" + device).c_str());
  }
  TDriveType Classify(const char* type, const char* source, unsigned major, unsigned minor) {
    return ClassifyMount(TMount{"/x", type, source, major, minor}, devices);
  }

  testing::TTempDir temp;
  TBlockDeviceInfo devices;
};

TEST_F(ClassifyTest, TellsEachKindOfMountApart) {
  EXPECT_EQ(Classify("ext4", "/dev/sda1", 8, 1), TDriveType::Fixed);
  EXPECT_EQ(Classify("ext4", "/dev/sda", 8, 0), TDriveType::Fixed);
  EXPECT_EQ(Classify("vfat", "/dev/sdb1", 8, 17), TDriveType::Removable);  // on USB
  EXPECT_EQ(Classify("ext4", "/dev/sdc", 8, 32), TDriveType::Removable);   // removable media
  EXPECT_EQ(Classify("ext4", "/dev/zram0", 252, 0), TDriveType::RamDisk);
  EXPECT_EQ(Classify("tmpfs", "tmpfs", 0, 40), TDriveType::RamDisk);
  EXPECT_EQ(Classify("ramfs", "none", 0, 41), TDriveType::RamDisk);
  EXPECT_EQ(Classify("iso9660", "/dev/sr0", 11, 0), TDriveType::CdRom);
  EXPECT_EQ(Classify("udf", "/dev/sr0", 11, 0), TDriveType::CdRom);
  EXPECT_EQ(Classify("nfs4", "server:/export", 0, 50), TDriveType::Remote);
  EXPECT_EQ(Classify("cifs", "//server/share", 0, 51), TDriveType::Remote);
  EXPECT_EQ(Classify("fuse.sshfs", "me@host:", 0, 52), TDriveType::Remote);
  EXPECT_EQ(Classify("proc", "proc", 0, 20), TDriveType::Unknown);
  EXPECT_EQ(Classify("overlay", "overlay", 0, 60), TDriveType::Unknown);
  EXPECT_EQ(Classify("ext4", "/dev/unknown", 9, 9), TDriveType::Unknown);  // no such device
}

TEST_F(ClassifyTest, FindsTheDiskOfAMountWithAnAnonymousDeviceNumberByItsSource) {
  ASSERT_EQ(::mkdir(devices.DevRoot.c_str(), 0755), 0);
  const std::string node = devices.DevRoot + "/sda1";
  if (::mknod(node.c_str(), S_IFBLK | 0600, makedev(8, 1)) != 0) {
    GTEST_SKIP() << "this machine does not let the test make a device node";
  }
  EXPECT_EQ(Classify("btrfs", "/dev/sda1", 0, 35), TDriveType::Fixed);
}

TEST_F(ClassifyTest, TypesAPathByTheLongestMountPointHoldingItTheLastOneWinning) {
  const std::string info = temp.Path() + "/mountinfo";
  std::ofstream(info) << "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                         "2 1 0:40 / /media rw - tmpfs tmpfs rw\n"
                         "3 2 8:17 / /media/usb rw - vfat /dev/sdb1 rw\n"
                         "4 2 8:32 / /media/usb rw - ext4 /dev/sdc rw\n"
                         "5 1 0:50 / /net rw - nfs4 server:/x rw\n";
  TMountTable table(info, devices);
  EXPECT_EQ(table.TypeOfPath("/home/anna"), TDriveType::Fixed);
  EXPECT_EQ(table.TypeOfPath("/media"), TDriveType::RamDisk);
  EXPECT_EQ(table.TypeOfPath("/media/usb/photos"), TDriveType::Removable);
  EXPECT_EQ(table.TypeOfPath("/mediaX"), TDriveType::Fixed);  // not below /media
  EXPECT_EQ(table.TypeOfPath("/net/share"), TDriveType::Remote);
  EXPECT_EQ(table.TypeOfDevice(makedev(8, 1)), TDriveType::Fixed);
  EXPECT_EQ(table.TypeOfDevice(makedev(0, 40)), TDriveType::RamDisk);
  EXPECT_EQ(table.TypeOfDevice(makedev(77, 7)), TDriveType::Unknown);
}

TEST(MountTable, ReadsThisMachinesMounts) {
  TMountTable table;
  // Whatever the machine: the root is some mount, and /proc is no disk.
  EXPECT_EQ(table.TypeOfPath("/proc/self"), TDriveType::Unknown);
  struct stat st {};
  ASSERT_EQ(::stat("/proc", &st), 0);
  EXPECT_EQ(table.TypeOfDevice(st.st_dev), TDriveType::Unknown);
}

}  // namespace
}  // namespace varnoke::platform
