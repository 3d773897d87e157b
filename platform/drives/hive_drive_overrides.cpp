#include "platform/drives/hive_drive_overrides.h"

#include <algorithm>
#include <string>

namespace varnoke::platform {

THiveDriveTypeOverrides::TTypes THiveDriveTypeOverrides::ReadTypes() const {
  TTypes types{};
  const THiveRead read = registry_.Read();
  if (!read.Readable) return types;
  const TRegKey* key = read.Contents.Find(kDrivesKey);
  if (key == nullptr) return types;
  for (std::size_t i = 0; i < types.size(); ++i) {
    const char name[] = {static_cast<char>('a' + i), ':', '\0'};
    const TRegValue* value = key->Find(name);
    if (value == nullptr || value->Type != kRegSz) continue;
    const auto end = std::find(value->Data.begin(), value->Data.end(), std::uint8_t{0});
    types[i] = ParseDriveTypeName(std::string(value->Data.begin(), end));
  }
  return types;
}

std::optional<TDriveType> THiveDriveTypeOverrides::Lookup(char letter) const {
  const char lower = static_cast<char>(letter | 0x20);
  if (lower < 'a' || lower > 'z') return std::nullopt;
  const auto index = static_cast<std::size_t>(lower - 'a');
  // Taken before the read: a change during the read gives a new stamp next
  // time, and with it another read.
  const std::optional<std::uint64_t> stamp = registry_.Stamp();
  std::lock_guard guard(mutex_);
  if (!stamp || stamp != stamp_) {
    types_ = ReadTypes();
    stamp_ = stamp;
  }
  return types_[index];
}

}  // namespace varnoke::platform
