#include "platform/drives/host_pattern.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

namespace varnoke::platform {
namespace {

// The components of an absolute path with "." and ".." resolved as text.
std::vector<std::string> LexicalComponents(std::string_view path) {
  std::vector<std::string> components;
  std::size_t begin = 0;
  while (begin <= path.size()) {
    std::size_t slash = path.find('/', begin);
    if (slash == std::string_view::npos) slash = path.size();
    const std::string_view part = path.substr(begin, slash - begin);
    if (part == "..") {
      if (!components.empty()) components.pop_back();
    } else if (!part.empty() && part != ".") {
      components.emplace_back(part);
    }
    begin = slash + 1;
  }
  return components;
}

std::string Join(const std::vector<std::string>& components, std::size_t count) {
  std::string path;
  for (std::size_t i = 0; i < count; ++i)
    path += "/" + components[i];
  return path.empty() ? "/" : path;
}

// The directory with symbolic links resolved in its longest part that
// exists on the disk; the rest, which the disk may spell in another case,
// follows as written.
std::string ResolveOnDisk(const std::vector<std::string>& components) {
  for (std::size_t count = components.size();; --count) {
    const std::unique_ptr<char, decltype(&std::free)> real(
        ::realpath(Join(components, count).c_str(), nullptr), &std::free);
    if (real != nullptr) {
      std::string path = real.get();
      for (std::size_t i = count; i < components.size(); ++i) {
        if (path.back() != '/') path += '/';
        path += components[i];
      }
      return path;
    }
    if (count == 0) return Join(components, components.size());
  }
}

bool IsHiddenComponent(std::string_view part) noexcept {
  return part.size() > 1 && part.front() == '.' && part != "..";
}

}  // namespace

bool IsHostPathPattern(std::string_view pattern) noexcept {
  return pattern.starts_with('/') || pattern.starts_with("~/");
}

THostPattern MapHostPattern(const TLinuxDrives& drives, std::string_view pattern,
                            std::string_view home) {
  THostPattern mapped;
  const std::size_t slash = pattern.rfind('/');
  const std::string_view name = pattern.substr(slash + 1);
  mapped.Directory = slash == 0 ? "/" : std::string(pattern.substr(0, slash));
  std::string absolute = mapped.Directory;
  if (absolute.starts_with('~')) absolute = std::string(home) + "/" + absolute.substr(1);
  const std::string host = ResolveOnDisk(LexicalComponents(absolute));
  if (host.find('\\') != std::string::npos) {
    mapped.Kind = THostPattern::TKind::Unindexable;
    return mapped;
  }
  const std::optional<std::string> drive = drives.DrivePath(host);
  if (!drive) {
    mapped.Kind = THostPattern::TKind::NoDrive;
    return mapped;
  }
  mapped.Kind = THostPattern::TKind::Mapped;
  mapped.DrivePattern = *drive;
  if (mapped.DrivePattern.back() != '\\') mapped.DrivePattern += '\\';
  mapped.DrivePattern += name;
  return mapped;
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return "/";
}

bool NamesHiddenEntry(std::string_view pattern) noexcept {
  std::size_t begin = 0;
  while (begin <= pattern.size()) {
    std::size_t end = pattern.find_first_of("/\\", begin);
    if (end == std::string_view::npos) end = pattern.size();
    if (IsHiddenComponent(pattern.substr(begin, end - begin))) return true;
    begin = end + 1;
  }
  return false;
}

}  // namespace varnoke::platform
