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

// Host service that answers questions about drives. Implementations must be
// callable from any thread.
class TDrives {
 public:
  virtual ~TDrives() = default;

  // The type of the drive whose root is given as a letter, a colon and a
  // backslash ("C:\"). Any other text, and a letter without a root, gives
  // NoRootDirectory or Unknown.
  virtual TDriveType GetDriveType(std::string_view root) const = 0;
};

}  // namespace varnoke::platform
