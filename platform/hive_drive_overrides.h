// Drive types set by hand in the settings hive: REG_SZ values named by the
// drive ("c:") under HKEY_LOCAL_MACHINE\Software\Varnoke\Drives, holding
// "fixed", "removable", "cdrom", "remote" or "ramdisk".
#pragma once

#include "platform/drive_type_overrides.h"
#include "platform/registry.h"

namespace varnoke::platform {

inline constexpr std::string_view kDrivesKey = "HKEY_LOCAL_MACHINE\\Software\\Varnoke\\Drives";

class THiveDriveTypeOverrides : public TDriveTypeOverrides {
 public:
  // registry is borrowed and must outlive this object.
  explicit THiveDriveTypeOverrides(const TRegistry& registry) : registry_(registry) {}

  // Read from the hive at every call. A hive that cannot be read, a value
  // of another type and a text that names no type all give no override.
  std::optional<TDriveType> Lookup(char letter) const override;

 private:
  const TRegistry& registry_;
};

}  // namespace varnoke::platform
