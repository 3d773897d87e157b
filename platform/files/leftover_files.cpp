#include "platform/files/leftover_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/files/directory_reader.h"
#include "platform/path_text.h"
#include "platform/unique_fd.h"

namespace varnoke::platform {
namespace {

constexpr std::size_t kRandomPart = 6;  // the XXXXXX of mkstemp

bool IsAsciiAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

bool IsLeftoverTemporaryName(std::string_view name, std::string_view base) {
  if (name.size() != base.size() + 1 + kRandomPart || name.substr(0, base.size()) != base ||
      name[base.size()] != '.') {
    return false;
  }
  const std::string_view random = name.substr(base.size() + 1);
  bool allLower = true;
  for (const char c : random) {
    if (!IsAsciiAlnum(c)) return false;
    allLower = allLower && c >= 'a' && c <= 'z';
  }
  return !allLower;
}

void RemoveLeftoverTemporaries(const std::string& path) {
  const std::string folder = FolderOf(path);
  const std::size_t slash = path.rfind('/');
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  TUniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.Valid()) return;
  std::vector<std::string> leftovers;
  TDirectoryReader reader;
  reader.ReadAll(fd.Get(), false, [&](const TRawEntry& entry) {
    if (IsLeftoverTemporaryName(entry.Name, base)) leftovers.emplace_back(entry.Name);
  });
  for (const std::string& name : leftovers) {
    struct stat st {};
    if (::fstatat(fd.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
      ::unlinkat(fd.Get(), name.c_str(), 0);
    }
  }
}

}  // namespace varnoke::platform
