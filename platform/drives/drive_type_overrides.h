// Drive types set by hand for some drive letters, in place of the type the
// host's mounts give. Tests use them to make floppy and CD drives out of
// plain directories, and users to correct a detection.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "platform/drives.h"

namespace varnoke::platform {

class TDriveTypeOverrides {
 public:
  virtual ~TDriveTypeOverrides() = default;
  // The type set for the drive letter ('A' to 'Z'), if any.
  virtual std::optional<TDriveType> Lookup(char letter) const = 0;
};

// "fixed", "removable", "cdrom", "remote" or "ramdisk", in any case.
std::optional<TDriveType> ParseDriveTypeName(std::string_view name) noexcept;

// Overrides held in memory.
class TDriveTypeTable : public TDriveTypeOverrides {
 public:
  void Set(char letter, TDriveType type) { types_[Index(letter)] = type; }
  std::optional<TDriveType> Lookup(char letter) const override { return types_[Index(letter)]; }

 private:
  static std::size_t Index(char letter) noexcept {
    return static_cast<std::size_t>((letter | 0x20) - 'a') % 26;
  }
  std::array<std::optional<TDriveType>, 26> types_{};
};

}  // namespace varnoke::platform
