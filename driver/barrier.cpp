#include "driver/barrier.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <vector>

#include "platform/config_paths.h"
#include "platform/files/directory_reader.h"

namespace varnoke::driver {
namespace {

constexpr std::string_view kPrefix = "mark-";

std::string AbsoluteVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

}  // namespace

TBarrierFolder::~TBarrierFolder() {
  Remove();
}

void TBarrierFolder::Remove() {
  if (!folder_.Valid()) return;
  // Marks are removed as soon as they are made; one left by a failed
  // removal goes now.
  platform::TDirectoryReader reader;
  std::vector<std::string> left;
  reader.ReadAll(folder_.Get(), true, [&](const platform::TRawEntry& entry) {
    if (Number(entry.Name)) left.emplace_back(entry.Name);
  });
  for (const std::string& name : left)
    ::unlinkat(folder_.Get(), name.c_str(), 0);
  folder_.Reset();
  ::rmdir(path_.c_str());
  path_.clear();
}

std::vector<std::string> TBarrierFolder::Candidates() {
  std::vector<std::string> candidates;
  for (const char* variable : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    if (std::string folder = AbsoluteVariable(variable); !folder.empty()) {
      candidates.push_back(std::move(folder));
    }
  }
  candidates.emplace_back("/tmp");
  candidates.push_back(platform::SettingsFolder());
  return candidates;
}

bool TBarrierFolder::Create(const std::string& parent) {
  std::string pattern = parent + "/.varnoke-marks-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return false;
  platform::TUniqueFd fd(::open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.Valid()) {
    ::rmdir(pattern.c_str());
    return false;
  }
  folder_ = std::move(fd);
  path_ = std::move(pattern);
  return true;
}

std::optional<std::uint64_t> TBarrierFolder::Emit() {
  if (!folder_.Valid()) return std::nullopt;
  const std::uint64_t number = next_++;
  const std::string name = std::string(kPrefix) + std::to_string(number);
  const int fd = ::openat(folder_.Get(), name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC,
                          S_IRUSR | S_IWUSR);
  if (fd < 0) return std::nullopt;
  ::close(fd);
  ::unlinkat(folder_.Get(), name.c_str(), 0);
  return number;
}

std::optional<std::uint64_t> TBarrierFolder::Number(std::string_view name) {
  if (name.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  const std::string_view digits = name.substr(kPrefix.size());
  std::uint64_t number = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (error != std::errc() || end != digits.data() + digits.size() || digits.empty()) {
    return std::nullopt;
  }
  return number;
}

}  // namespace varnoke::driver
