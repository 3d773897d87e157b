// Drive types set by hand in the settings hive: REG_SZ values named by the
// drive ("c:") under HKEY_LOCAL_MACHINE\Software\Varnoke\Drives, holding
// "fixed", "removable", "cdrom", "remote" or "ramdisk". The monitor asks
// for a drive's type with every change report, so the types are kept
// between changes of the hive.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>

#include "platform/drives/drive_type_overrides.h"
#include "platform/registry.h"

namespace varnoke::platform {

inline constexpr std::string_view kDrivesKey = "HKEY_LOCAL_MACHINE\\Software\\Varnoke\\Drives";

class THiveDriveTypeOverrides : public TDriveTypeOverrides {
 public:
  // registry is borrowed and must outlive this object.
  explicit THiveDriveTypeOverrides(const TRegistry& registry) : registry_(registry) {}

  // Read from the hive once, and again whenever its stamp changes (at every
  // call for a registry without one). A hive that cannot be read, a value
  // of another type and a text that names no type all give no override.
  std::optional<TDriveType> Lookup(char letter) const override;

 private:
  using TTypes = std::array<std::optional<TDriveType>, 26>;
  TTypes ReadTypes() const;

  const TRegistry& registry_;
  mutable std::mutex mutex_;
  mutable std::optional<std::uint64_t> stamp_;  // of types_; Guarded by mutex_.
  mutable TTypes types_{};                      // Guarded by mutex_.
};

}  // namespace varnoke::platform
