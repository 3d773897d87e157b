#include "platform/drives/linux_drives.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <array>
#include <climits>
#include <cstdlib>

namespace varnoke::platform {

TLinuxDrives::TLinuxDrives(const TDriveMap& map, TMountTable& mounts,
                           const TDriveTypeOverrides* overrides)
    : map_(map), mounts_(mounts), overrides_(overrides) {}

std::string TLinuxDrives::HostRoot(char letter) const {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  if (letter < 'A' || letter > 'Z') return {};
  const std::optional<std::string> target = map_.LinkTarget(letter);
  if (!target) return {};
  const auto index = static_cast<std::size_t>(letter - 'A');
  {
    std::lock_guard guard(mutex_);
    if (resolved_[index].target == *target && !resolved_[index].path.empty()) {
      return resolved_[index].path;
    }
  }
  std::array<char, PATH_MAX> buffer{};
  if (::realpath(target->c_str(), buffer.data()) == nullptr) return {};
  struct stat st {};
  if (::stat(buffer.data(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  std::lock_guard guard(mutex_);
  resolved_[index] = Resolved{*target, buffer.data()};
  return resolved_[index].path;
}

TDriveType TLinuxDrives::GetDriveType(std::string_view root) const {
  char letter = 0;
  if (!ParseDriveRoot(root, letter)) return TDriveType::NoRootDirectory;
  const std::string host = HostRoot(letter);
  if (host.empty()) return TDriveType::NoRootDirectory;
  if (overrides_ != nullptr) {
    if (const std::optional<TDriveType> type = overrides_->Lookup(letter)) return *type;
  }
  return mounts_.TypeOfPath(host);
}

bool TLinuxDrives::GetDiskFreeSpace(std::string_view root, TDiskSpace& space) const {
  char letter = 0;
  if (!ParseDriveRoot(root, letter)) return false;
  const std::string host = HostRoot(letter);
  if (host.empty()) return false;
  struct statvfs info {};
  if (::statvfs(host.c_str(), &info) != 0 || info.f_frsize == 0) return false;
  constexpr std::uint64_t kSector = 512;
  const std::uint64_t fragment = info.f_frsize;
  const std::uint64_t sectors = fragment >= kSector ? fragment / kSector : 1;
  const std::uint64_t cluster = sectors * kSector;
  space.BytesPerSector = static_cast<std::uint32_t>(kSector);
  space.SectorsPerCluster = static_cast<std::uint32_t>(sectors);
  space.TotalNumberOfClusters = static_cast<std::uint64_t>(info.f_blocks) * fragment / cluster;
  space.NumberOfFreeClusters = static_cast<std::uint64_t>(info.f_bfree) * fragment / cluster;
  space.UsedEntries = info.f_files > info.f_ffree ? info.f_files - info.f_ffree : 0;
  return true;
}

std::optional<std::string> TLinuxDrives::DrivePath(std::string_view hostPath) const {
  std::string bestRoot;
  char bestLetter = 0;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const std::string root = HostRoot(letter);
    if (root.empty()) continue;
    if (bestLetter != 0 && root.size() <= bestRoot.size()) continue;
    const bool holds =
        root == "/" || (hostPath.rfind(root, 0) == 0 &&
                        (hostPath.size() == root.size() || hostPath[root.size()] == '/'));
    if (holds) {
      bestRoot = root;
      bestLetter = letter;
    }
  }
  if (bestLetter == 0 || hostPath.empty() || hostPath.front() != '/') return std::nullopt;
  std::string_view rest = hostPath.substr(bestRoot.size());
  while (!rest.empty() && rest.front() == '/')
    rest.remove_prefix(1);
  if (rest.find('\\') != std::string_view::npos) return std::nullopt;
  std::string drive{bestLetter, ':', '\\'};
  for (const char c : rest)
    drive += c == '/' ? '\\' : c;
  return drive;
}

}  // namespace varnoke::platform
