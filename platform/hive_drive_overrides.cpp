#include "platform/hive_drive_overrides.h"

#include <algorithm>

namespace varnoke::platform {

std::optional<TDriveType> THiveDriveTypeOverrides::Lookup(char letter) const {
  const THiveRead read = registry_.Read();
  if (!read.Readable) return std::nullopt;
  const TRegKey* key = read.Contents.Find(kDrivesKey);
  if (key == nullptr) return std::nullopt;
  const char name[] = {static_cast<char>(letter | 0x20), ':', '\0'};
  const TRegValue* value = key->Find(name);
  if (value == nullptr || value->Type != kRegSz) return std::nullopt;
  const auto end = std::find(value->Data.begin(), value->Data.end(), std::uint8_t{0});
  const std::string text(value->Data.begin(), end);
  return ParseDriveTypeName(text);
}

}  // namespace varnoke::platform
