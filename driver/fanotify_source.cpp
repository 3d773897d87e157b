#include "driver/fanotify_source.h"

#include <fcntl.h>
#include <sys/fanotify.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstring>
#include <vector>

#include "driver/tree_reporter.h"
#include "platform/device_abi.h"

namespace varnoke::driver {
namespace {

constexpr std::uint64_t kEvents = FAN_CREATE | FAN_DELETE | FAN_RENAME | FAN_ONDIR;
constexpr std::uint32_t kDirectoryInfo = 0x10;

std::pair<int, int> FsidOf(const __kernel_fsid_t& fsid) {
  return {fsid.val[0], fsid.val[1]};
}

}  // namespace

bool TFanotifySource::Mark(const std::string& hostPath) {
  if (::fanotify_mark(fanotify_.Get(), FAN_MARK_ADD | FAN_MARK_FILESYSTEM, kEvents, AT_FDCWD,
                      hostPath.c_str()) != 0) {
    return false;
  }
  struct statfs info {};
  platform::TUniqueFd fd(::open(hostPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.Valid() || ::fstatfs(fd.Get(), &info) != 0) return false;
  __kernel_fsid_t fsid{};
  std::memcpy(&fsid, &info.f_fsid, sizeof fsid);
  mountFds_.try_emplace(FsidOf(fsid), std::move(fd));
  return true;
}

bool TFanotifySource::Start(const std::vector<std::string>& roots) {
  fanotify_.Reset(::fanotify_init(
      FAN_CLASS_NOTIF | FAN_CLOEXEC | FAN_NONBLOCK | FAN_UNLIMITED_QUEUE | FAN_REPORT_DFID_NAME,
      O_RDONLY | O_CLOEXEC | O_LARGEFILE));
  if (!fanotify_.Valid()) return false;
  roots_ = roots;
  for (const std::string& root : roots) {
    const std::string host = drives_.HostRoot(root[0]);
    if (host.empty() || !Mark(host)) return false;
    fixedLetters_.insert(root[0]);
    // Fixed disks mounted inside a drive are scanned, so they are watched.
    for (const std::string& point : mounts_.FixedMountsBelow(host))
      Mark(point);
  }
  return true;
}

std::optional<std::string> TFanotifySource::DrivePath(const std::string& hostPath) const {
  std::optional<std::string> path = files_.DrivePath(hostPath);
  if (!path || fixedLetters_.count((*path)[0]) == 0) return std::nullopt;
  // Below the root, every component must be one the scan records.
  std::string_view rest = std::string_view(*path).substr(3);
  while (!rest.empty()) {
    const std::size_t slash = rest.find('\\');
    if (!IsRecordedName(rest.substr(0, slash))) return std::nullopt;
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return path;
}

std::optional<std::string> TFanotifySource::EntryPath(const void* fidInfo, std::string_view& name) {
  const auto* info = static_cast<const fanotify_event_info_fid*>(fidInfo);
  const auto* handle = reinterpret_cast<const file_handle*>(info->handle);
  name = std::string_view(reinterpret_cast<const char*>(handle->f_handle) + handle->handle_bytes);
  const auto mount = mountFds_.find(FsidOf(info->fsid));
  if (mount == mountFds_.end()) return std::nullopt;
  // open_by_handle_at wants a handle it may write to.
  std::vector<unsigned char> copy(sizeof(file_handle) + handle->handle_bytes);
  std::memcpy(copy.data(), handle, copy.size());
  platform::TUniqueFd directory(::open_by_handle_at(
      mount->second.Get(), reinterpret_cast<file_handle*>(copy.data()), O_PATH | O_CLOEXEC));
  if (!directory.Valid()) return std::nullopt;  // ESTALE: the directory is gone already
  std::array<char, PATH_MAX> target{};
  const std::string link = "/proc/self/fd/" + std::to_string(directory.Get());
  const ssize_t length = ::readlink(link.c_str(), target.data(), target.size() - 1);
  if (length <= 0) return std::nullopt;
  std::optional<std::string> path =
      DrivePath(std::string(target.data(), static_cast<std::size_t>(length)));
  if (!path) return std::nullopt;
  if (path->back() != '\\') path->push_back('\\');
  return path;
}

void TFanotifySource::Appeared(const std::string& path, bool directory) {
  if (directory) {
    ReportTree(files_, sink_, path, true, nullptr);
  } else {
    sink_.Report(VXD_CODE_CREATE, 0, path);
  }
}

void TFanotifySource::Vanished(const std::string& path, bool directory) {
  if (directory) {
    sink_.Report(VXD_CODE_DIRECTORY, 1, path);
  } else {
    sink_.Report(VXD_CODE_DELETE, 0, path);
  }
}

void TFanotifySource::RecheckTree(const std::string& directory) {
  // A handle names a directory where it is when the event is read, not
  // where it was when the event happened: events from inside a directory
  // that was renamed meanwhile were reported under its new name, before the
  // rename reached the tree. Going over the renamed subtree once puts that
  // right: gone files by wildcard deletions, present entries by creations.
  std::vector<std::string> pending{directory + "\\"};
  platform::TDirectoryListing listing;
  while (!pending.empty()) {
    const std::string current = std::move(pending.back());
    pending.pop_back();
    if (!files_.ListDirectory(current, false, listing)) continue;
    sink_.Report(VXD_CODE_DELETE, 0, current + "*");
    for (std::size_t i = 0; i < listing.Size(); ++i) {
      const std::string_view name = listing.Name(i);
      if (!IsRecordedName(name)) continue;
      const std::string path = current + std::string(name);
      if (listing.At(i).Attributes & platform::kFileAttributeDirectory) {
        sink_.Report(VXD_CODE_DIRECTORY, 0, path);
        pending.push_back(path + "\\");
      } else {
        sink_.Report(VXD_CODE_CREATE, 0, path);
      }
    }
  }
}

void TFanotifySource::HandleEvent(std::uint64_t mask, const char* info, std::size_t infoLength) {
  std::optional<std::string> path;
  std::optional<std::string> oldPath;
  std::optional<std::string> newPath;
  bool sawOld = false;
  bool sawNew = false;
  for (std::size_t offset = 0; offset + sizeof(fanotify_event_info_header) <= infoLength;) {
    const auto* header = reinterpret_cast<const fanotify_event_info_header*>(info + offset);
    if (header->len == 0 || offset + header->len > infoLength) break;
    std::string_view name;
    std::optional<std::string> directory;
    if (header->info_type == FAN_EVENT_INFO_TYPE_DFID_NAME ||
        header->info_type == FAN_EVENT_INFO_TYPE_OLD_DFID_NAME ||
        header->info_type == FAN_EVENT_INFO_TYPE_NEW_DFID_NAME) {
      directory = EntryPath(header, name);
      std::optional<std::string> entry;
      if (directory && IsRecordedName(name)) entry = *directory + std::string(name);
      if (header->info_type == FAN_EVENT_INFO_TYPE_DFID_NAME) path = entry;
      if (header->info_type == FAN_EVENT_INFO_TYPE_OLD_DFID_NAME) {
        oldPath = entry;
        sawOld = true;
      }
      if (header->info_type == FAN_EVENT_INFO_TYPE_NEW_DFID_NAME) {
        newPath = entry;
        sawNew = true;
      }
    }
    offset += header->len;
  }
  const bool isDirectory = (mask & FAN_ONDIR) != 0;
  if ((mask & FAN_RENAME) && sawOld && sawNew) {
    if (oldPath && newPath) {
      sink_.Report(VXD_CODE_RENAME, isDirectory ? kDirectoryInfo : 0, *oldPath, *newPath);
      if (isDirectory) RecheckTree(*newPath);
    } else if (oldPath) {
      Vanished(*oldPath, isDirectory);  // moved away or to a name the scan leaves out
    } else if (newPath) {
      Appeared(*newPath, isDirectory);
    }
  } else if ((mask & FAN_CREATE) && path) {
    Appeared(*path, isDirectory);
  } else if ((mask & FAN_DELETE) && path) {
    Vanished(*path, isDirectory);
  }
}

void TFanotifySource::OnReadable() {
  alignas(fanotify_event_metadata) char buffer[64 * 1024];
  for (;;) {
    const ssize_t length = ::read(fanotify_.Get(), buffer, sizeof buffer);
    if (length <= 0) return;  // EAGAIN: all read
    const auto* event = reinterpret_cast<const fanotify_event_metadata*>(buffer);
    ssize_t remaining = length;
    while (FAN_EVENT_OK(event, remaining)) {
      if (event->fd >= 0) ::close(event->fd);
      if (event->mask & FAN_Q_OVERFLOW) {
        Resynchronize();
      } else {
        const char* info = reinterpret_cast<const char*>(event) + event->metadata_len;
        HandleEvent(event->mask, info, event->event_len - event->metadata_len);
      }
      event = FAN_EVENT_NEXT(event, remaining);
    }
  }
}

void TFanotifySource::Resynchronize() {
  for (const std::string& root : roots_)
    RecheckTree(root.substr(0, 2));
}

}  // namespace varnoke::driver
