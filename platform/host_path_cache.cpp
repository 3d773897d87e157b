#include "platform/host_path_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/directory_reader.h"
#include "platform/unique_fd.h"
#include "platform/upcase.h"

namespace varnoke::platform {

std::string THostPathCache::Component(TDirectory& directory, std::string_view name) {
  const std::string candidate = directory.host + (directory.host.back() == '/' ? "" : "/");
  struct stat st {};
  const std::string exact(name);
  if (::lstat((candidate + exact).c_str(), &st) == 0) return exact;
  if (!directory.listed) {
    directory.listed = true;
    TUniqueFd fd(::open(directory.host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Valid()) {
      TDirectoryReader reader;
      reader.ReadAll(fd.Get(), false, [&](const TRawEntry& entry) {
        if (entry.Name == "." || entry.Name == "..") return;
        directory.byUpperName.emplace(UpperCase(entry.Name), std::string(entry.Name));
      });
    }
  }
  const auto it = directory.byUpperName.find(UpperCase(name));
  return it == directory.byUpperName.end() ? exact : it->second;
}

THostPathCache::TDirectory& THostPathCache::Directory(std::string_view drivePath) {
  const std::string key(drivePath);
  if (const auto it = directories_.find(key); it != directories_.end()) return it->second;
  TDirectory directory;
  const std::size_t slash =
      drivePath.size() > 3 ? drivePath.rfind('\\', drivePath.size() - 2) : std::string_view::npos;
  if (slash == std::string_view::npos || drivePath.size() <= 3) {
    directory.host = drives_.HostRoot(drivePath.empty() ? '\0' : drivePath[0]);
  } else {
    TDirectory& parent = Directory(drivePath.substr(0, slash + 1));
    if (!parent.host.empty()) {
      const std::string_view name = drivePath.substr(slash + 1, drivePath.size() - slash - 2);
      directory.host =
          parent.host + (parent.host.back() == '/' ? "" : "/") + Component(parent, name);
    }
  }
  return directories_.emplace(key, std::move(directory)).first->second;
}

const std::string& THostPathCache::HostPath(std::string_view drivePath) {
  result_.clear();
  if (drivePath.size() < 3 || drivePath[1] != ':' || drivePath[2] != '\\') return result_;
  const std::size_t slash = drivePath.rfind('\\');
  TDirectory& directory = Directory(drivePath.substr(0, slash + 1));
  if (directory.host.empty()) return result_;
  result_ = directory.host;
  const std::string_view name = drivePath.substr(slash + 1);
  if (!name.empty()) {
    if (result_.back() != '/') result_ += '/';
    result_ += Component(directory, name);
  }
  return result_;
}

}  // namespace varnoke::platform
