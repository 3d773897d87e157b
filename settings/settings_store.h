// The settings store: every setting of the program is a named value under
// one key, SettingsKey, read and written through the three operations here.
//
// There is no cache and no default: each call reads the registry, and a key
// or value that cannot be read raises ERegistry, which callers let through.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/registry.h"
#include "settings/registry_error.h"

namespace varnoke::settings {

// The settings key, below HKEY_CLASSES_ROOT.
inline constexpr std::string_view SettingsKey = "Varnoke\\Settings";

// The root every key path of the store is taken from.
inline constexpr std::string_view kClassesRoot = "HKEY_CLASSES_ROOT";

// The names the store gives the two types it expects, in its messages.
inline constexpr std::string_view kDwordTypeName = "DWORD";
inline constexpr std::string_view kStringTypeName = "Null Terminated String";

class TSettingsStore {
 public:
  // registry is borrowed and must outlive the store. Safe to use from any
  // thread.
  explicit TSettingsStore(platform::TRegistry& registry) : registry_(registry) {}

  // The value's 32 bits. Any value of at most 4 bytes is read as a
  // little-endian number, whatever its type. Raises ERegistry 8192 when the
  // key cannot be opened, 8193 when the value is missing (or a DWORD that
  // does not fit), 8194 when a value of another type is too long.
  std::uint32_t ReadDWORDSetting(std::string_view key, std::string_view name) const;

  // True when the value is there, of whatever type. Raises ERegistry 8192
  // when the key cannot be opened. For the settings that came after the
  // first ones: where an older installation lacks them, the caller decides
  // what their absence means.
  bool ValueExists(std::string_view key, std::string_view name) const;

  // Stores the number as a DWORD, adding the value when missing; the key is
  // never created. Raises ERegistry 8192 when the key cannot be opened, 8195
  // when the value cannot be stored (the old one then stands).
  void WriteDWORDSetting(std::string_view key, std::string_view name, std::uint32_t value);

  // The text before the first NUL of the value, which must fit into 256
  // bytes (255 characters and a NUL). Raises ERegistry 8192 when the key
  // cannot be opened, 8193 when the value is missing or a text too long,
  // 8194 when a value of another type is too long.
  std::string ReadStringSetting(std::string_view key, std::string_view name) const;

  // A string setting that names a folder, as ReadStringSetting reads it,
  // refused unless it is a text (ERegistry 8194) holding an absolute host
  // path (8193 saying why): an empty or relative one would put the
  // program's files wherever the command happens to run.
  std::string ReadFolderSetting(std::string_view key, std::string_view name) const;

 private:
  platform::TRegistry& registry_;
};

// The message of ERegistry 8192 for key, with what is wrong with the hive
// when that is known.
std::string KeyNotOpenedMessage(std::string_view key, std::string_view problem);

}  // namespace varnoke::settings
