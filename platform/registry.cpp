#include "platform/registry.h"

#include "platform/upcase.h"

namespace varnoke::platform {

TRegValue* TRegKey::Find(std::string_view name) {
  for (TRegValue& value : Values) {
    if (CompareNoCase(value.Name, name) == 0) return &value;
  }
  return nullptr;
}

const TRegValue* TRegKey::Find(std::string_view name) const {
  return const_cast<TRegKey*>(this)->Find(name);
}

void TRegKey::Set(std::string_view name, std::uint32_t type, std::vector<std::uint8_t> data) {
  TRegValue* value = Find(name);
  if (value == nullptr) value = &Values.emplace_back(TRegValue{std::string(name), type, {}});
  value->Type = type;
  value->Data = std::move(data);
}

TRegKey* THiveContents::Find(std::string_view path) {
  for (TRegKey& key : Keys) {
    if (CompareNoCase(key.Path, path) == 0) return &key;
  }
  return nullptr;
}

const TRegKey* THiveContents::Find(std::string_view path) const {
  return const_cast<THiveContents*>(this)->Find(path);
}

TRegKey& THiveContents::FindOrAdd(std::string_view path) {
  if (TRegKey* key = Find(path)) return *key;
  return Keys.emplace_back(TRegKey{std::string(path), {}});
}

std::vector<std::uint8_t> StringData(std::string_view text) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  return data;
}

std::vector<std::uint8_t> DwordData(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

}  // namespace varnoke::platform
