#include "driver/fanotify_source.h"

#include <fcntl.h>
#include <sys/fanotify.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

#include "platform/device_abi.h"

namespace varnoke::driver {
namespace {

constexpr std::uint64_t kEvents = FAN_CREATE | FAN_DELETE | FAN_RENAME | FAN_ONDIR;
constexpr std::uint32_t kDirectoryInfo = 0x10;

std::string KeyOf(const __kernel_fsid_t& fsid, std::int32_t handleType, const char* handle,
                  std::uint32_t handleBytes) {
  std::string key(reinterpret_cast<const char*>(&fsid), sizeof fsid);
  key.append(reinterpret_cast<const char*>(&handleType), sizeof handleType);
  key.append(handle, handleBytes);
  return key;
}

}  // namespace

bool TFanotifySource::Mark(const std::string& hostPath) {
  return ::fanotify_mark(fanotify_.Get(), FAN_MARK_ADD | FAN_MARK_FILESYSTEM, kEvents, AT_FDCWD,
                         hostPath.c_str()) == 0;
}

std::string TFanotifySource::Identify(int fd, bool& refused) {
  refused = false;
  alignas(file_handle) unsigned char buffer[sizeof(file_handle) + MAX_HANDLE_SZ];
  auto* handle = reinterpret_cast<file_handle*>(buffer);
  handle->handle_bytes = MAX_HANDLE_SZ;
  int mountId = 0;
  if (::name_to_handle_at(fd, "", handle, &mountId, AT_EMPTY_PATH) != 0) return {};
  // A mount's file system does not change: its id is asked once.
  auto known = fsids_.find(mountId);
  if (known == fsids_.end()) {
    struct statfs info {};
    if (::fstatfs(fd, &info) != 0) return {};
    __kernel_fsid_t fsid{};
    std::memcpy(&fsid, &info.f_fsid, sizeof fsid);
    known = fsids_.emplace(mountId, fsid).first;
  }
  return KeyOf(known->second, handle->handle_type, reinterpret_cast<const char*>(handle->f_handle),
               handle->handle_bytes);
}

void TFanotifySource::StartMarks() {
  // The mark folder needs a mark of its own: it need not lie on a drive.
  for (const std::string& folder : TBarrierFolder::Candidates()) {
    if (!marks_.Create(folder)) continue;
    bool refused = false;
    if (::fanotify_mark(fanotify_.Get(), FAN_MARK_ADD, FAN_CREATE, marks_.Fd(), nullptr) == 0) {
      marksKey_ = Identify(marks_.Fd(), refused);
      if (!marksKey_.empty()) return;
      ::fanotify_mark(fanotify_.Get(), FAN_MARK_REMOVE, FAN_CREATE, marks_.Fd(), nullptr);
    }
    marks_.Remove();
  }
}

bool TFanotifySource::Start(const std::vector<std::string>& roots) {
  fanotify_.Reset(::fanotify_init(FAN_CLASS_NOTIF | FAN_CLOEXEC | FAN_NONBLOCK |
                                      FAN_UNLIMITED_QUEUE | FAN_REPORT_DFID_NAME_TARGET,
                                  O_RDONLY | O_CLOEXEC | O_LARGEFILE));
  if (!fanotify_.Valid()) return false;
  for (const std::string& root : roots) {
    const std::string host = drives_.HostRoot(root[0]);
    if (host.empty() || !Mark(host)) return false;
    // Fixed disks mounted inside a drive are scanned, so they are watched.
    for (const std::string& point : mounts_.FixedMountsBelow(host))
      Mark(point);
  }
  StartMarks();
  // Marks first, then the walk: at once, reporting nothing, when the tree
  // was just scanned; else in the rounds, comparing it.
  if (options_.Compare) {
    reconciler_.BeginComparison(roots);
  } else {
    reconciler_.PlaceTrees(roots);
  }
  return true;
}

TFanotifySource::TEventRecords TFanotifySource::ParseRecords(const char* info, std::size_t length) {
  TEventRecords records;
  // Records follow each other without padding: every field is copied out
  // rather than read in place.
  const std::size_t fidSize = sizeof(fanotify_event_info_fid) + sizeof(file_handle);
  for (std::size_t offset = 0; offset + sizeof(fanotify_event_info_header) <= length;) {
    fanotify_event_info_header header{};
    std::memcpy(&header, info + offset, sizeof header);
    if (header.len == 0 || offset + header.len > length) break;
    const auto type = header.info_type;
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
      if (type == FAN_EVENT_INFO_TYPE_FID) records.target = record;
      if (type == FAN_EVENT_INFO_TYPE_DFID_NAME) records.entry = record;
      if (type == FAN_EVENT_INFO_TYPE_OLD_DFID_NAME) records.oldEntry = record;
      if (type == FAN_EVENT_INFO_TYPE_NEW_DFID_NAME) records.newEntry = record;
    }
    offset += header.len;
  }
  return records;
}

std::optional<std::string> TFanotifySource::PathOf(const std::optional<TFidRecord>& record,
                                                   bool directory, bool* listed) {
  // Only directories the model places count: one it does not know is
  // outside the drives (made elsewhere, perhaps moved in later, when it is
  // listed), or inside one moved in and not listed yet.
  if (!record) return std::nullopt;
  const std::string* parent = model_.LabelOf(record->key);
  if (parent == nullptr) return std::nullopt;
  const bool listedNow = reconciler_.Observe(*parent, record->key, record->name, directory);
  if (listed != nullptr) *listed = listedNow;
  if (!IsRecordedName(record->name)) return std::nullopt;
  return *parent + std::string(record->name);
}

void TFanotifySource::HandleEvent(std::uint64_t mask, const char* info, std::size_t infoLength) {
  const TEventRecords records = ParseRecords(info, infoLength);
  if (records.entry && !marksKey_.empty() && records.entry->key == marksKey_) {
    if (mask & FAN_CREATE) {
      if (const std::optional<std::uint64_t> number = TBarrierFolder::Number(records.entry->name)) {
        reconciler_.OnMark(*number);
      }
    }
    return;
  }
  const bool directory = (mask & FAN_ONDIR) != 0;
  if ((mask & FAN_RENAME) && records.oldEntry && records.newEntry) {
    bool listed = false;
    const std::optional<std::string> from = PathOf(records.oldEntry, directory, &listed);
    const std::optional<std::string> to = PathOf(records.newEntry, directory);
    if (from && to) {
      Renamed(*from, *to, directory, records.target);
      // The tree may have lost the old name to a listing's test of the
      // disk made after the rename: the new name is there all the same.
      if (listed && !directory) sink_.Report(VXD_CODE_CREATE, 0, *to);
    } else if (from) {
      Vanished(*from, directory);  // moved away, or to a name the scan leaves out
    } else if (to) {
      Appeared(*to, directory, records.target, true);
    }
    return;
  }
  // The kernel merges a creation and the deletion of the same object that
  // follows it into one event; in that order they are applied.
  const std::optional<std::string> path = PathOf(records.entry, directory);
  if (!path) return;
  if (mask & FAN_CREATE) Appeared(*path, directory, records.target, false);
  if (mask & FAN_DELETE) Vanished(*path, directory);
}

void TFanotifySource::Appeared(const std::string& path, bool directory,
                               const std::optional<TFidRecord>& target, bool movedIn) {
  if (!directory) {
    sink_.Report(VXD_CODE_CREATE, 0, path);
    return;
  }
  sink_.Report(VXD_CODE_DIRECTORY, 0, path);
  const std::string label = path + "\\";
  if (target) {
    model_.Place(label, target->key);
  } else {
    model_.Add(label);
  }
  // One made here is told whole by the events that follow; what one moved
  // in from elsewhere holds, only a listing can tell.
  if (movedIn || !target) reconciler_.Request(label);
}

void TFanotifySource::Vanished(const std::string& path, bool directory) {
  if (!directory) {
    sink_.Report(VXD_CODE_DELETE, 0, path);
    return;
  }
  sink_.Report(VXD_CODE_DIRECTORY, 1, path);
  model_.Forget(path + "\\", nullptr);
}

void TFanotifySource::Renamed(const std::string& from, const std::string& to, bool directory,
                              const std::optional<TFidRecord>& target) {
  if (!directory) {
    sink_.Report(VXD_CODE_RENAME, 0, from, to);
    return;
  }
  if (!model_.Knows(from + "\\")) {
    // Inside a directory moved in and not listed yet: not one the tree
    // holds under that name either, so it is new where it went.
    Appeared(to, true, target, true);
    return;
  }
  sink_.Report(VXD_CODE_RENAME, kDirectoryInfo, from, to);
  model_.Move(from + "\\", to + "\\", nullptr);
}

void TFanotifySource::OnReadable() {
  alignas(fanotify_event_metadata) char buffer[64 * 1024];
  for (;;) {
    const ssize_t length = ::read(fanotify_.Get(), buffer, sizeof buffer);
    if (length <= 0) break;  // EAGAIN: all read
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
        reconciler_.OnOverflow();
      } else {
        HandleEvent(event.mask, buffer + offset + event.metadata_len,
                    event.event_len - event.metadata_len);
      }
      offset += event.event_len;
    }
  }
  reconciler_.OnDrained();
}

}  // namespace varnoke::driver
