// The host's drives as the database sees them: drive letters A to Z, each
// with a root such as "C:\" and a type.
#pragma once

#include <cstdint>
#include <string_view>

namespace varnoke::platform {

// Drive types, numbered as the program has always numbered them.
enum class TDriveType : std::uint32_t {
  Unknown = 0,
  NoRootDirectory = 1,
  Removable = 2,
  Fixed = 3,
  Remote = 4,
  CdRom = 5,
  RamDisk = 6,
};

// The geometry and use of a drive's disk.
struct TDiskSpace {
  std::uint32_t SectorsPerCluster = 0;
  std::uint32_t BytesPerSector = 0;
  std::uint64_t NumberOfFreeClusters = 0;
  std::uint64_t TotalNumberOfClusters = 0;
  // Directory entries (files and directories) in use on the disk; 0 when
  // the file system does not count them.
  std::uint64_t UsedEntries = 0;
};

// Host service that answers questions about drives. Implementations must be
// callable from any thread.
class TDrives {
 public:
  virtual ~TDrives() = default;

  // The type of the drive whose root is given as a letter, a colon and a
  // backslash ("C:\"). Any other text, and a letter without a root, gives
  // NoRootDirectory.
  virtual TDriveType GetDriveType(std::string_view root) const = 0;

  // The disk geometry of the drive whose root is given as above; false when
  // it cannot be had.
  virtual bool GetDiskFreeSpace(std::string_view root, TDiskSpace& space) const = 0;
};

// True for "A:\" to "Z:\" (either case of letter); the drive letter, upper-cased,
// goes to letter.
bool ParseDriveRoot(std::string_view root, char& letter) noexcept;

}  // namespace varnoke::platform
