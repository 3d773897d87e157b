#include "settings/settings_store.h"

#include <algorithm>
#include <array>

#include "platform/messages.h"

namespace varnoke::settings {
namespace {

using platform::FormatMessage;

constexpr std::size_t kDwordBuffer = 4;
constexpr std::size_t kStringBuffer = 256;

std::string FullPath(std::string_view key) {
  std::string path(kClassesRoot);
  path.push_back('\\');
  path.append(key);
  return path;
}

// The value asked for, or ERegistry 8192/8193 when the key or the value
// is not there.
platform::TRegValue FindValue(const platform::TRegistry& registry, std::string_view key,
                              std::string_view name) {
  const platform::THiveRead read = registry.Read();
  if (!read.Readable) throw ERegistry(KeyNotOpenedMessage(key, read.Problem));
  const platform::TRegKey* found = read.Contents.Find(FullPath(key));
  if (found == nullptr) throw ERegistry(KeyNotOpenedMessage(key, {}));
  const platform::TRegValue* value = found->Find(name);
  if (value == nullptr) {
    throw ERegistry(FormatMessage(platform::kMsgValueNotOpened, {name, key}));
  }
  return *value;
}

}  // namespace

std::string KeyNotOpenedMessage(std::string_view key, std::string_view problem) {
  std::string message = FormatMessage(platform::kMsgKeyNotOpened, {key});
  if (!problem.empty()) message.append("\n\n").append(problem);
  return message;
}

namespace {

// The value, when it fits into a buffer of the given size; otherwise 8193
// for a value of the expected type, 8194 naming that type for any other.
platform::TRegValue FittingValue(const platform::TRegistry& registry, std::string_view key,
                                 std::string_view name, std::size_t buffer,
                                 std::uint32_t expectedType, std::string_view typeName) {
  platform::TRegValue value = FindValue(registry, key, name);
  if (value.Data.size() <= buffer) return value;
  if (value.Type == expectedType) {
    throw ERegistry(FormatMessage(platform::kMsgValueNotOpened, {name, key}));
  }
  throw ERegistry(FormatMessage(platform::kMsgValueWrongType, {name, key, typeName}));
}

}  // namespace

bool TSettingsStore::ValueExists(std::string_view key, std::string_view name) const {
  const platform::THiveRead read = registry_.Read();
  if (!read.Readable) throw ERegistry(KeyNotOpenedMessage(key, read.Problem));
  const platform::TRegKey* found = read.Contents.Find(FullPath(key));
  if (found == nullptr) throw ERegistry(KeyNotOpenedMessage(key, {}));
  return found->Find(name) != nullptr;
}

std::uint32_t TSettingsStore::ReadDWORDSetting(std::string_view key, std::string_view name) const {
  const platform::TRegValue value =
      FittingValue(registry_, key, name, kDwordBuffer, platform::kRegDword, kDwordTypeName);
  // A shorter value fills the low bytes; the rest stay zero.
  std::array<std::uint8_t, kDwordBuffer> bytes{};
  std::copy(value.Data.begin(), value.Data.end(), bytes.begin());
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void TSettingsStore::WriteDWORDSetting(std::string_view key, std::string_view name,
                                       std::uint32_t value) {
  const std::string path = FullPath(key);
  bool keyMissing = false;
  std::string problem;
  const platform::TModifyResult result = registry_.Modify(
      [&](platform::THiveContents& contents) {
        platform::TRegKey* found = contents.Find(path);
        if (found == nullptr) {
          keyMissing = true;
          return false;
        }
        found->Set(name, platform::kRegDword, platform::DwordData(value));
        return true;
      },
      problem);
  switch (result) {
    case platform::TModifyResult::Written:
      return;
    case platform::TModifyResult::Declined:
      if (keyMissing) throw ERegistry(KeyNotOpenedMessage(key, {}));
      return;
    case platform::TModifyResult::Unreadable:
      throw ERegistry(KeyNotOpenedMessage(key, problem));
    case platform::TModifyResult::Unwritable:
      break;
  }
  std::string message = FormatMessage(platform::kMsgValueNotSet, {name, key});
  if (!problem.empty()) message.append("\n\n").append(problem);
  throw ERegistry(message);
}

std::string TSettingsStore::ReadStringSetting(std::string_view key, std::string_view name) const {
  const platform::TRegValue value =
      FittingValue(registry_, key, name, kStringBuffer, platform::kRegSz, kStringTypeName);
  const auto end = std::find(value.Data.begin(), value.Data.end(), std::uint8_t{0});
  return std::string(value.Data.begin(), end);
}

std::string TSettingsStore::ReadFolderSetting(std::string_view key, std::string_view name) const {
  const platform::TRegValue value =
      FittingValue(registry_, key, name, kStringBuffer, platform::kRegSz, kStringTypeName);
  if (value.Type != platform::kRegSz) {
    throw ERegistry(FormatMessage(platform::kMsgValueWrongType, {name, key, kStringTypeName}));
  }
  const auto end = std::find(value.Data.begin(), value.Data.end(), std::uint8_t{0});
  std::string folder(value.Data.begin(), end);
  if (folder.empty() || folder.front() != '/') {
    std::string message = FormatMessage(platform::kMsgValueNotOpened, {name, key});
    message.append("\n\n");
    message.append(folder.empty() ? "The folder name is empty"
                                  : "The folder name '" + folder + "' is not an absolute path");
    message.append("; it must start with \"/\".");
    throw ERegistry(message);
  }
  return folder;
}

}  // namespace varnoke::settings
