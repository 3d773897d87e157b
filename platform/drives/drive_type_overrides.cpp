#include "platform/drives/drive_type_overrides.h"

#include "platform/upcase.h"

namespace varnoke::platform {

std::optional<TDriveType> ParseDriveTypeName(std::string_view name) noexcept {
  struct Named {
    std::string_view name;
    TDriveType type;
  };
  static constexpr Named kNames[] = {{"fixed", TDriveType::Fixed},
                                     {"removable", TDriveType::Removable},
                                     {"cdrom", TDriveType::CdRom},
                                     {"remote", TDriveType::Remote},
                                     {"ramdisk", TDriveType::RamDisk}};
  for (const Named& named : kNames) {
    if (CompareNoCase(name, named.name) == 0) return named.type;
  }
  return std::nullopt;
}

}  // namespace varnoke::platform
