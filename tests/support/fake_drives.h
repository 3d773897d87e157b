// A drive map for tests: each letter has the type the test gives it.
#pragma once

#include <array>
#include <cctype>
#include <string_view>

#include "platform/drives.h"

namespace varnoke::testing {

class TFakeDrives : public platform::TDrives {
 public:
  TFakeDrives() { types_.fill(platform::TDriveType::NoRootDirectory); }

  void Set(char letter, platform::TDriveType type) { types_[Index(letter)] = type; }

  platform::TDriveType GetDriveType(std::string_view root) const override {
    if (root.size() != 3 || root[1] != ':' || root[2] != '\\' ||
        !std::isalpha(static_cast<unsigned char>(root[0]))) {
      return platform::TDriveType::NoRootDirectory;
    }
    return types_[Index(root[0])];
  }

 private:
  static std::size_t Index(char letter) {
    return static_cast<std::size_t>(std::toupper(static_cast<unsigned char>(letter)) - 'A');
  }
  std::array<platform::TDriveType, 26> types_{};
};

}  // namespace varnoke::testing
