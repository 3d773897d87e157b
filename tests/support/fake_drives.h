// A drive map for tests: each letter has the type and geometry the test
// gives it.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "platform/drives.h"

namespace varnoke::testing {

class TFakeDrives : public platform::TDrives {
 public:
  TFakeDrives() { types_.fill(platform::TDriveType::NoRootDirectory); }

  void Set(char letter, platform::TDriveType type) { types_[Index(letter)] = type; }
  // Geometry for GetDiskFreeSpace; without it the call fails.
  void SetSpace(char letter, const platform::TDiskSpace& space) { spaces_[Index(letter)] = space; }

  platform::TDriveType GetDriveType(std::string_view root) const override {
    char letter = 0;
    if (!platform::ParseDriveRoot(root, letter)) return platform::TDriveType::NoRootDirectory;
    return types_[Index(letter)];
  }

  bool GetDiskFreeSpace(std::string_view root, platform::TDiskSpace& space) const override {
    char letter = 0;
    if (!platform::ParseDriveRoot(root, letter) || !spaces_[Index(letter)]) return false;
    space = *spaces_[Index(letter)];
    return true;
  }

 private:
  static std::size_t Index(char letter) {
    return static_cast<std::size_t>((letter | 0x20) - 'a') % 26;
  }
  std::array<platform::TDriveType, 26> types_{};
  std::array<std::optional<platform::TDiskSpace>, 26> spaces_{};
};

}  // namespace varnoke::testing
