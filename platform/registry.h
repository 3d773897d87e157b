// The registry: keys named by paths ("HKEY_CLASSES_ROOT\Varnoke\Settings")
// holding typed values. Key and value names are compared case-blind.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnoke::platform {

inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;

struct TRegValue {
  std::string Name;  // empty for a key's default value
  std::uint32_t Type = kRegNone;
  std::vector<std::uint8_t> Data;  // a REG_SZ text ends with its NUL

  bool operator==(const TRegValue&) const = default;
};

struct TRegKey {
  std::string Path;
  std::vector<TRegValue> Values;

  bool operator==(const TRegKey&) const = default;
  // The value of that name, or null.
  TRegValue* Find(std::string_view name);
  const TRegValue* Find(std::string_view name) const;
  // Sets the value of that name, adding it when missing.
  void Set(std::string_view name, std::uint32_t type, std::vector<std::uint8_t> data);
};

struct THiveContents {
  std::vector<TRegKey> Keys;

  bool operator==(const THiveContents&) const = default;
  TRegKey* Find(std::string_view path);
  const TRegKey* Find(std::string_view path) const;
  // The key of that path, added when missing.
  TRegKey& FindOrAdd(std::string_view path);
};

// REG_SZ data for a text: its bytes and a NUL.
std::vector<std::uint8_t> StringData(std::string_view text);
// REG_DWORD data: four bytes, little-endian.
std::vector<std::uint8_t> DwordData(std::uint32_t value);

// What reading the registry gave.
struct THiveRead {
  bool Readable = false;  // false: the hive cannot be parsed (or read)
  THiveContents Contents;
  std::string Problem;  // why it is not readable, for the user
};

// How an attempt to change the registry ended.
enum class TModifyResult {
  Written,     // the change is stored
  Declined,    // the edit asked for no change; nothing was written
  Unreadable,  // the hive cannot be parsed; it was left as it is
  Unwritable,  // the new hive could not be stored; the old one stands
};

// Host service holding the registry. Callable from any thread.
class TRegistry {
 public:
  virtual ~TRegistry() = default;

  // Reads the whole registry as it is now.
  virtual THiveRead Read() const = 0;

  // A number that stays the same for as long as Read would give the same
  // contents, and changes when they may have changed; none when the
  // registry cannot tell without reading. Lets readers of a few values keep
  // them instead of reading again.
  virtual std::optional<std::uint64_t> Stamp() const { return std::nullopt; }

  // Reads the registry, lets edit change it (edit returns false to change
  // nothing) and stores the result as one atomic change; problem tells the
  // user what went wrong when the result is Unreadable or Unwritable.
  virtual TModifyResult Modify(const std::function<bool(THiveContents&)>& edit,
                               std::string& problem) = 0;
};

}  // namespace varnoke::platform
