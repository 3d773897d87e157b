#include "driver/fanotify_source.h"

#include <fcntl.h>
#include <sys/fanotify.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <set>
#include <vector>

#include "driver/tree_reporter.h"
#include "platform/device_abi.h"

namespace varnoke::driver {
namespace {

constexpr std::uint64_t kEvents = FAN_CREATE | FAN_DELETE | FAN_RENAME | FAN_ONDIR;
constexpr std::uint32_t kDirectoryInfo = 0x10;

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::string KeyOf(const __kernel_fsid_t& fsid, std::int32_t handleType, const char* handle,
                  std::uint32_t handleBytes) {
  std::string key(reinterpret_cast<const char*>(&fsid), sizeof fsid);
  key.append(reinterpret_cast<const char*>(&handleType), sizeof handleType);
  key.append(handle, handleBytes);
  return key;
}

std::string WithSlash(std::string path) {
  if (path.back() != '\\') path.push_back('\\');
  return path;
}

}  // namespace

bool TFanotifySource::Mark(const std::string& hostPath) {
  if (::fanotify_mark(fanotify_.Get(), FAN_MARK_ADD | FAN_MARK_FILESYSTEM, kEvents, AT_FDCWD,
                      hostPath.c_str()) != 0) {
    return false;
  }
  return true;
}

void TFanotifySource::Place(const std::string& directory, THandleKey key, bool fromEvent) {
  // A handle placed elsewhere moves here only by an event. A walk that
  // finds it here sees the directory where the events still queued have yet
  // to move it; those events are read against the old place.
  if (!key.empty()) {
    const auto elsewhere = pathByHandle_.find(key);
    if (elsewhere != pathByHandle_.end() && elsewhere->second != directory) {
      if (!fromEvent) {
        key.clear();
      } else if (const auto stale = known_.find(elsewhere->second); stale != known_.end()) {
        stale->second.clear();
      }
    }
  }
  auto [known, added] = known_.try_emplace(directory);
  if (!added && !known->second.empty() && known->second != key) {
    if (key.empty()) return;  // keeps the handle it has
    pathByHandle_.erase(known->second);
  }
  known->second = key;
  if (!key.empty()) pathByHandle_[key] = directory;
}

TFanotifySource::THandleKey TFanotifySource::HandleOf(const std::string& directory) {
  platform::TUniqueFd fd = files_.OpenDirectory(directory);
  if (!fd.Valid()) return {};
  struct statfs info {};
  if (::fstatfs(fd.Get(), &info) != 0) return {};
  __kernel_fsid_t fsid{};
  std::memcpy(&fsid, &info.f_fsid, sizeof fsid);
  alignas(file_handle) unsigned char buffer[sizeof(file_handle) + MAX_HANDLE_SZ];
  auto* handle = reinterpret_cast<file_handle*>(buffer);
  handle->handle_bytes = MAX_HANDLE_SZ;
  int mountId = 0;
  if (::name_to_handle_at(fd.Get(), "", handle, &mountId, AT_EMPTY_PATH) != 0) return {};
  return KeyOf(fsid, handle->handle_type, reinterpret_cast<const char*>(handle->f_handle),
               handle->handle_bytes);
}

void TFanotifySource::Forget(const std::string& directory) {
  const std::string prefix = WithSlash(directory);
  for (auto it = known_.lower_bound(prefix); it != known_.end() && StartsWith(it->first, prefix);) {
    if (!it->second.empty()) pathByHandle_.erase(it->second);
    it = known_.erase(it);
  }
}

void TFanotifySource::Move(const std::string& from, const std::string& to) {
  const std::string oldPrefix = WithSlash(from);
  const std::string newPrefix = WithSlash(to);
  // What is known at the new place already (a walk ahead of this event
  // placed it there) keeps its handles where the moved entries have none.
  std::map<std::string, THandleKey> there;
  for (auto it = known_.lower_bound(newPrefix);
       it != known_.end() && StartsWith(it->first, newPrefix); ++it) {
    if (!it->second.empty()) there.emplace(it->first, it->second);
  }
  Forget(newPrefix);  // a directory it replaced
  std::vector<std::pair<std::string, THandleKey>> moved;
  for (auto it = known_.lower_bound(oldPrefix);
       it != known_.end() && StartsWith(it->first, oldPrefix);) {
    moved.emplace_back(newPrefix + it->first.substr(oldPrefix.size()), it->second);
    it = known_.erase(it);
  }
  for (std::string& directory : walkedAhead_) {
    if (StartsWith(WithSlash(directory), oldPrefix)) directory = to + directory.substr(from.size());
  }
  for (auto& [path, key] : moved) {
    if (key.empty()) {
      if (const auto found = there.find(path); found != there.end()) key = found->second;
    }
    known_[path] = key;
    if (!key.empty()) pathByHandle_[key] = path;
  }
}

void TFanotifySource::DirectoryCreated(const std::string& path, const THandleKey& key) {
  sink_.Report(VXD_CODE_DIRECTORY, 0, path);
  // A handle from an event is the event's word; one looked up now is only
  // a walk's.
  if (key.empty()) {
    Place(WithSlash(path), HandleOf(path), false);
  } else {
    Place(WithSlash(path), key, true);
  }
}

void TFanotifySource::DirectoryRemoved(const std::string& path) {
  sink_.Report(VXD_CODE_DIRECTORY, 1, path);
  Forget(path);
}

bool TFanotifySource::Start(const std::vector<std::string>& roots) {
  fanotify_.Reset(::fanotify_init(FAN_CLASS_NOTIF | FAN_CLOEXEC | FAN_NONBLOCK |
                                      FAN_UNLIMITED_QUEUE | FAN_REPORT_DFID_NAME_TARGET,
                                  O_RDONLY | O_CLOEXEC | O_LARGEFILE));
  if (!fanotify_.Valid()) return false;
  roots_ = roots;
  for (const std::string& root : roots) {
    const std::string host = drives_.HostRoot(root[0]);
    if (host.empty() || !Mark(host)) return false;
    // Fixed disks mounted inside a drive are scanned, so they are watched.
    for (const std::string& point : mounts_.FixedMountsBelow(host))
      Mark(point);
  }
  // Marks first, then the walk, which reports nothing: the tree was just
  // scanned. A directory made in between is known both ways.
  for (const std::string& root : roots)
    Walk(root, false);
  return true;
}

std::optional<std::string> TFanotifySource::DirectoryOf(const TFidRecord& record) const {
  // Only directories the history places count: one it does not know is
  // outside the drives (made elsewhere, perhaps moved in later, when it is
  // reported whole), or was missed while it moved, and is gone over when it
  // is placed.
  const auto known = pathByHandle_.find(record.key);
  if (known == pathByHandle_.end()) return std::nullopt;
  return known->second;  // ends with "\\"
}

void TFanotifySource::Walk(const std::string& directory, bool report, bool recursive, bool prune) {
  // Compares each directory below with what is known of it, parents first:
  // gone files by a wildcard deletion, every entry there by a creation,
  // directories known but gone by a removal. The disk may be ahead of the
  // events read so far; whatever this reports early, the events for it
  // later change nothing.
  std::vector<std::string> pending{WithSlash(directory)};
  platform::TDirectoryListing listing;
  std::set<std::string> present;
  while (!pending.empty()) {
    const std::string current = std::move(pending.back());
    pending.pop_back();
    if (!files_.ListDirectory(current, false, listing)) {
      if (report && prune && current.size() > 3 && known_.count(current) != 0) {
        DirectoryRemoved(current.substr(0, current.size() - 1));
      }
      continue;
    }
    if (const auto it = known_.find(current); it == known_.end() || it->second.empty()) {
      Place(current, HandleOf(current), false);
    }
    if (report && prune) {
      sink_.Report(VXD_CODE_DELETE, 0, current + "*");
      sink_.Report(VXD_CODE_DIRECTORY, 1, current + "*");
    }
    present.clear();
    for (std::size_t i = 0; i < listing.Size(); ++i) {
      const std::string_view name = listing.Name(i);
      if (!IsRecordedName(name)) continue;
      const std::string path = current + std::string(name);
      if (listing.At(i).Attributes & platform::kFileAttributeDirectory) {
        present.insert(path + "\\");
        // A directory new to the history is gone over whole in any case.
        const bool isNew = known_.count(path + "\\") == 0;
        if (report) DirectoryCreated(path, THandleKey());
        if (recursive || isNew) pending.push_back(path + "\\");
      } else if (report) {
        sink_.Report(VXD_CODE_CREATE, 0, path);
      }
    }
    if (!report || !prune) continue;
    // Known directories just below that the disk no longer has.
    std::vector<std::string> gone;
    for (auto it = known_.upper_bound(current);
         it != known_.end() && StartsWith(it->first, current); ++it) {
      const std::string_view rest = std::string_view(it->first).substr(current.size());
      if (rest.find('\\') == rest.size() - 1 && present.count(it->first) == 0) {
        gone.push_back(it->first);
      }
    }
    for (const std::string& path : gone)
      DirectoryRemoved(path.substr(0, path.size() - 1));
  }
}

void TFanotifySource::HandleEvent(std::uint64_t mask, const char* info, std::size_t infoLength) {
  std::optional<TFidRecord> entry;     // DFID_NAME: the directory and the entry's name
  std::optional<TFidRecord> oldEntry;  // OLD_DFID_NAME, for a rename
  std::optional<TFidRecord> newEntry;  // NEW_DFID_NAME, for a rename
  std::optional<TFidRecord> target;    // FID: the object itself
  // Records follow each other without padding: every field is copied out
  // rather than read in place.
  for (std::size_t offset = 0; offset + sizeof(fanotify_event_info_header) <= infoLength;) {
    fanotify_event_info_header header{};
    std::memcpy(&header, info + offset, sizeof header);
    if (header.len == 0 || offset + header.len > infoLength) break;
    const auto type = header.info_type;
    const std::size_t fidSize = sizeof(fanotify_event_info_fid) + sizeof(file_handle);
    if ((type == FAN_EVENT_INFO_TYPE_FID || type == FAN_EVENT_INFO_TYPE_DFID_NAME ||
         type == FAN_EVENT_INFO_TYPE_OLD_DFID_NAME || type == FAN_EVENT_INFO_TYPE_NEW_DFID_NAME) &&
        header.len >= fidSize) {
      const char* fid = info + offset;
      __kernel_fsid_t fsid{};
      std::memcpy(&fsid, fid + offsetof(fanotify_event_info_fid, fsid), sizeof fsid);
      const char* handle = fid + offsetof(fanotify_event_info_fid, handle);
      std::uint32_t handleBytes = 0;
      std::int32_t handleType = 0;
      std::memcpy(&handleBytes, handle + offsetof(file_handle, handle_bytes), sizeof handleBytes);
      std::memcpy(&handleType, handle + offsetof(file_handle, handle_type), sizeof handleType);
      const char* handleData = handle + sizeof(file_handle);
      if (fidSize + handleBytes > header.len) break;
      TFidRecord record{KeyOf(fsid, handleType, handleData, handleBytes), {}};
      if (type != FAN_EVENT_INFO_TYPE_FID) {
        const std::size_t nameOffset = fidSize + handleBytes;
        record.name = std::string_view(
            handleData + handleBytes, ::strnlen(handleData + handleBytes, header.len - nameOffset));
      }
      if (type == FAN_EVENT_INFO_TYPE_FID) target = record;
      if (type == FAN_EVENT_INFO_TYPE_DFID_NAME) entry = record;
      if (type == FAN_EVENT_INFO_TYPE_OLD_DFID_NAME) oldEntry = record;
      if (type == FAN_EVENT_INFO_TYPE_NEW_DFID_NAME) newEntry = record;
    }
    offset += header.len;
  }
  // The drive-form path of an entry, when it is on a fixed drive and a
  // name the scan records.
  const auto pathOf = [&](const std::optional<TFidRecord>& record) -> std::optional<std::string> {
    if (!record || !IsRecordedName(record->name)) return std::nullopt;
    std::optional<std::string> directory = DirectoryOf(*record);
    if (!directory) return std::nullopt;
    return *directory + std::string(record->name);
  };
  const bool isDirectory = (mask & FAN_ONDIR) != 0;
  if ((mask & FAN_RENAME) && oldEntry && newEntry) {
    const std::optional<std::string> from = pathOf(oldEntry);
    const std::optional<std::string> to = pathOf(newEntry);
    if (from && to) {
      const bool known = known_.count(WithSlash(*from)) != 0;
      sink_.Report(VXD_CODE_RENAME, isDirectory ? kDirectoryInfo : 0, *from, *to);
      // Should the tree not hold the old name (a walk ran ahead of this
      // event), the rename changes nothing there; the new name must exist
      // all the same. A creation that finds it there changes nothing.
      if (!isDirectory) sink_.Report(VXD_CODE_CREATE, 0, *to);
      if (isDirectory) {
        Move(*from, *to);
        if (!known) {
          // Not a directory the history placed (it moved on before it could
          // be): the tree may not hold it under the old name either, so it
          // is reported afresh, as it is now.
          DirectoryCreated(*to, target ? target->key : THandleKey());
          WalkNew(*to);
        }
      }
    } else if (from) {
      // Moved away, or to a name the scan leaves out.
      if (isDirectory) {
        DirectoryRemoved(*from);
      } else {
        sink_.Report(VXD_CODE_DELETE, 0, *from);
      }
    } else if (to) {
      // Moved in: what it holds is news as well.
      if (isDirectory) {
        DirectoryCreated(*to, target ? target->key : THandleKey());
        WalkNew(*to);
      } else {
        sink_.Report(VXD_CODE_CREATE, 0, *to);
      }
    }
    return;
  }
  // The kernel merges a creation and the deletion of the same object that
  // follows it into one event; in that order they are applied.
  const std::optional<std::string> path = pathOf(entry);
  if (!path) return;
  if (mask & FAN_CREATE) {
    if (isDirectory) {
      DirectoryCreated(*path, target ? target->key : THandleKey());
    } else {
      sink_.Report(VXD_CODE_CREATE, 0, *path);
    }
  }
  if (mask & FAN_DELETE) {
    if (isDirectory) {
      DirectoryRemoved(*path);
    } else {
      sink_.Report(VXD_CODE_DELETE, 0, *path);
    }
  }
}

void TFanotifySource::WalkNew(const std::string& directory) {
  // A directory the events do not describe (moved in, or moved on before
  // it could be placed): what it holds now is reported as created. The
  // walk sees the disk ahead of the events still queued; creations found
  // early change nothing when their events come, and a rename of something
  // it missed is followed by a creation of the new name (see HandleEvent).
  Walk(directory, true, true, false);
  walkedAhead_.push_back(directory);
}

void TFanotifySource::OnReadable() {
  alignas(fanotify_event_metadata) char buffer[64 * 1024];
  for (;;) {
    const ssize_t length = ::read(fanotify_.Get(), buffer, sizeof buffer);
    if (length <= 0) {  // EAGAIN: all read
      // Walked ahead of the queue, those directories may have gained
      // entries through events read against an older state: once the queue
      // is drained they are gone over again, for creations only.
      std::vector<std::string> directories;
      directories.swap(walkedAhead_);
      for (const std::string& directory : directories)
        Walk(directory, true, true, false);
      return;
    }
    const auto size = static_cast<std::size_t>(length);
    for (std::size_t offset = 0; offset + sizeof(fanotify_event_metadata) <= size;) {
      // Events are not aligned to their structure in the buffer.
      fanotify_event_metadata event{};
      std::memcpy(&event, buffer + offset, sizeof event);
      if (event.event_len < event.metadata_len || event.metadata_len < sizeof event ||
          offset + event.event_len > size) {
        break;
      }
      if (event.fd >= 0) ::close(event.fd);
      if (event.mask & FAN_Q_OVERFLOW) {
        Resynchronize();
      } else {
        HandleEvent(event.mask, buffer + offset + event.metadata_len,
                    event.event_len - event.metadata_len);
      }
      offset += event.event_len;
    }
  }
}

void TFanotifySource::Resynchronize() {
  for (const std::string& root : roots_)
    Walk(root, true);
}

}  // namespace varnoke::driver
