#include "platform/drives/mount_table.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstdlib>
#include <fstream>

namespace varnoke::platform {
namespace {

// Mount points are written with octal escapes for space, tab, newline and
// backslash.
std::string DecodeEscapes(std::string_view text) {
  const auto octal = [](char c) { return c >= '0' && c <= '7'; };
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && octal(text[i + 1]) && octal(text[i + 2]) &&
        octal(text[i + 3])) {
      out.push_back(static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 +
                                      (text[i + 3] - '0')));
      i += 3;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ')
      ++i;
    const std::size_t begin = i;
    while (i < line.size() && line[i] != ' ')
      ++i;
    if (i > begin) fields.push_back(line.substr(begin, i - begin));
  }
  return fields;
}

bool ParseDevice(std::string_view text, unsigned& major, unsigned& minor) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string majorText(text.substr(0, colon));
  const std::string minorText(text.substr(colon + 1));
  char* end = nullptr;
  const unsigned long ma = std::strtoul(majorText.c_str(), &end, 10);
  if (majorText.empty() || *end != '\0') return false;
  const unsigned long mi = std::strtoul(minorText.c_str(), &end, 10);
  if (minorText.empty() || *end != '\0') return false;
  major = static_cast<unsigned>(ma);
  minor = static_cast<unsigned>(mi);
  return true;
}

bool IsNetworkFsType(std::string_view type) {
  static constexpr std::string_view kNetwork[] = {"nfs",
                                                  "nfs4",
                                                  "cifs",
                                                  "smb3",
                                                  "smbfs",
                                                  "9p",
                                                  "ceph",
                                                  "afs",
                                                  "coda",
                                                  "ncpfs",
                                                  "glusterfs",
                                                  "lustre",
                                                  "davfs",
                                                  "fuse.sshfs",
                                                  "fuse.rclone",
                                                  "fuse.s3fs",
                                                  "fuse.gcsfuse",
                                                  "fuse.glusterfs",
                                                  "fuse.curlftpfs",
                                                  "fuse.smbnetfs",
                                                  "fuse.gvfsd-fuse",
                                                  "fuse.davfs2",
                                                  "fuse.ceph",
                                                  "fuse.juicefs",
                                                  "fuse.goofys"};
  for (const std::string_view network : kNetwork) {
    if (type == network) return true;
  }
  return false;
}

std::string ReadSmallFile(const std::string& path) {
  std::ifstream in(path);
  std::string text;
  std::getline(in, text);
  return text;
}

// The sysfs folder of a block device, resolved, or empty.
std::string BlockDeviceFolder(const TBlockDeviceInfo& devices, unsigned major, unsigned minor) {
  const std::string link =
      devices.SysRoot + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
  std::array<char, PATH_MAX> resolved{};
  if (::realpath(link.c_str(), resolved.data()) == nullptr) return {};
  return resolved.data();
}

// The block device behind a mount: by its device number where that names a
// block device, otherwise by its source (btrfs subvolumes report anonymous
// device numbers but name their disk as source).
std::string BlockDeviceOf(const TMount& mount, const TBlockDeviceInfo& devices) {
  if (mount.Major != 0) {
    std::string folder = BlockDeviceFolder(devices, mount.Major, mount.Minor);
    if (!folder.empty()) return folder;
  }
  if (mount.Source.rfind("/dev/", 0) == 0) {
    const std::string node = devices.DevRoot + mount.Source.substr(4);
    struct stat st {};
    if (::stat(node.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
      return BlockDeviceFolder(devices, ::major(st.st_rdev), ::minor(st.st_rdev));
    }
  }
  return {};
}

}  // namespace

std::vector<TMount> ParseMountInfo(std::string_view text) {
  std::vector<TMount> mounts;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) end = text.size();
    const std::vector<std::string_view> fields = SplitFields(text.substr(begin, end - begin));
    begin = end + 1;
    // id parent major:minor root mount-point options [optional...] - type source super
    if (fields.size() < 10) continue;
    std::size_t separator = 6;
    while (separator < fields.size() && fields[separator] != "-")
      ++separator;
    if (separator + 2 >= fields.size()) continue;
    TMount mount;
    if (!ParseDevice(fields[2], mount.Major, mount.Minor)) continue;
    mount.MountPoint = DecodeEscapes(fields[4]);
    mount.FsType = std::string(fields[separator + 1]);
    mount.Source = DecodeEscapes(fields[separator + 2]);
    mounts.push_back(std::move(mount));
  }
  return mounts;
}

TDriveType ClassifyMount(const TMount& mount, const TBlockDeviceInfo& devices) {
  const std::string_view type = mount.FsType;
  if (type == "iso9660" || type == "udf") return TDriveType::CdRom;
  if (IsNetworkFsType(type)) return TDriveType::Remote;
  if (type == "tmpfs" || type == "ramfs") return TDriveType::RamDisk;
  const std::string folder = BlockDeviceOf(mount, devices);
  if (folder.empty()) return TDriveType::Unknown;
  const std::string name = folder.substr(folder.rfind('/') + 1);
  if (name.rfind("zram", 0) == 0) return TDriveType::RamDisk;
  if (folder.find("/usb") != std::string::npos) return TDriveType::Removable;
  // A partition has no "removable" of its own; its disk, one folder up, has.
  std::string removable = ReadSmallFile(folder + "/removable");
  if (removable.empty()) removable = ReadSmallFile(folder + "/../removable");
  return removable == "1" ? TDriveType::Removable : TDriveType::Fixed;
}

TMountTable::TMountTable(std::string mountInfoPath, TBlockDeviceInfo devices)
    : path_(std::move(mountInfoPath)), devices_(std::move(devices)) {}

void TMountTable::RefreshLocked() {
  if (!watch_.Valid()) {
    watch_.Reset(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    loaded_ = false;
  }
  if (loaded_ && watch_.Valid()) {
    // The kernel flags the file with POLLPRI once the mount table changed
    // since the last poll; polling clears the flag.
    pollfd pfd{watch_.Get(), POLLPRI, 0};
    if (::poll(&pfd, 1, 0) <= 0 || (pfd.revents & (POLLPRI | POLLERR)) == 0) return;
  }
  std::string text;
  if (watch_.Valid() && ::lseek(watch_.Get(), 0, SEEK_SET) == 0) {
    std::array<char, 16384> buffer{};
    for (;;) {
      const ssize_t n = ::read(watch_.Get(), buffer.data(), buffer.size());
      if (n <= 0) break;
      text.append(buffer.data(), static_cast<std::size_t>(n));
    }
  }
  mounts_ = ParseMountInfo(text);
  loaded_ = true;
}

TDriveType TMountTable::TypeOfPath(std::string_view hostPath) {
  std::lock_guard guard(mutex_);
  RefreshLocked();
  const TMount* best = nullptr;
  for (const TMount& mount : mounts_) {
    const std::string_view point = mount.MountPoint;
    const bool contains =
        point == "/" || (hostPath.rfind(point, 0) == 0 &&
                         (hostPath.size() == point.size() || hostPath[point.size()] == '/'));
    if (contains && (best == nullptr || point.size() >= best->MountPoint.size())) best = &mount;
  }
  return best == nullptr ? TDriveType::Unknown : ClassifyMount(*best, devices_);
}

std::vector<std::string> TMountTable::FixedMountsBelow(std::string_view hostPath) {
  std::lock_guard guard(mutex_);
  RefreshLocked();
  std::string prefix(hostPath);
  if (prefix.empty() || prefix.back() != '/') prefix.push_back('/');
  std::vector<std::string> points;
  for (const TMount& mount : mounts_) {
    if (mount.MountPoint.size() > prefix.size() && mount.MountPoint.rfind(prefix, 0) == 0 &&
        ClassifyMount(mount, devices_) == TDriveType::Fixed) {
      points.push_back(mount.MountPoint);
    }
  }
  return points;
}

TDriveType TMountTable::TypeOfDevice(dev_t dev) {
  std::lock_guard guard(mutex_);
  RefreshLocked();
  const TMount* found = nullptr;
  for (const TMount& mount : mounts_) {
    if (mount.Major == ::major(dev) && mount.Minor == ::minor(dev)) found = &mount;
  }
  return found == nullptr ? TDriveType::Unknown : ClassifyMount(*found, devices_);
}

}  // namespace varnoke::platform
