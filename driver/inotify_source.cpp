#include "driver/inotify_source.h"

#include <sys/inotify.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/device_abi.h"

namespace varnoke::driver {
namespace {

// No IN_DONT_FOLLOW: directories are named by their /proc/self/fd link,
// which must be followed; symbolic links are never reached that way.
constexpr std::uint32_t kMask =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR | IN_EXCL_UNLINK;
constexpr std::uint32_t kDirectoryInfo = 0x10;
// Directories without a watch listed again at each tick of the timer.
constexpr std::size_t kRelistBatch = 64;

std::string KeyOf(int wd) {
  return std::string(reinterpret_cast<const char*>(&wd), sizeof wd);
}

int WatchOf(const std::string& key) {
  int wd = -1;
  if (key.size() == sizeof wd) std::memcpy(&wd, key.data(), sizeof wd);
  return wd;
}

std::string DescriptorPath(int fd) {
  return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

bool TInotifySource::Start(const std::vector<std::string>& roots) {
  inotify_.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (!inotify_.Valid()) return false;
  timer_.Reset(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC));
  for (const std::string& folder : TBarrierFolder::Candidates()) {
    if (!marks_.Create(folder)) continue;
    marksWatch_ = ::inotify_add_watch(inotify_.Get(), DescriptorPath(marks_.Fd()).c_str(),
                                      IN_CREATE | IN_ONLYDIR);
    if (marksWatch_ >= 0) break;
    marks_.Remove();
  }
  // Every directory gets its watch: at once, reporting nothing, when the
  // tree was just scanned; else as the walk that compares it goes.
  if (options_.Compare) {
    reconciler_.BeginComparison(roots);
  } else {
    reconciler_.PlaceTrees(roots);
  }
  UpdateTimer();
  return true;
}

std::string TInotifySource::Identify(int fd, bool& refused) {
  refused = false;
  const int wd = ::inotify_add_watch(inotify_.Get(), DescriptorPath(fd).c_str(), kMask);
  if (wd < 0) {
    refused = errno == ENOSPC || errno == ENOMEM;
    return {};
  }
  if (watches_.count(wd) == 0 && options_.WatchLimit != 0 &&
      watches_.size() >= options_.WatchLimit) {
    // As if the kernel's limit were reached.
    ::inotify_rm_watch(inotify_.Get(), wd);
    refused = true;
    return {};
  }
  watches_.insert(wd);
  return KeyOf(wd);
}

void TInotifySource::Release(const std::string& identity) {
  const int wd = WatchOf(identity);
  if (watches_.erase(wd) != 0) ::inotify_rm_watch(inotify_.Get(), wd);
}

void TInotifySource::OnReadable() {
  alignas(inotify_event) char buffer[64 * 1024];
  for (;;) {
    const ssize_t length = ::read(inotify_.Get(), buffer, sizeof buffer);
    if (length <= 0) break;  // EAGAIN: all read
    for (ssize_t offset = 0; offset < length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
      const std::string_view name =
          event->len > 0 ? std::string_view(event->name) : std::string_view();
      Handle(event->wd, event->mask, event->cookie, name);
      offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  // A half of a rename still waits for its partner: the listings wait too.
  if (!pendingMove_) reconciler_.OnDrained();
  UpdateTimer();
}

void TInotifySource::OnQuiet() {
  FlushMove();
  reconciler_.OnDrained();
  UpdateTimer();
}

void TInotifySource::OnTimer() {
  model_.MarkUnwatchable(kRelistBatch);
  reconciler_.OnDrained();
  UpdateTimer();
}

void TInotifySource::UpdateTimer() {
  const bool wanted = model_.UnwatchableCount() != 0;
  if (!timer_.Valid() || wanted == timerArmed_) return;
  const long ms = options_.RelistPeriodMs;
  itimerspec period{};
  if (wanted) {
    period.it_interval = {ms / 1000, (ms % 1000) * 1000000L};
    period.it_value = period.it_interval;
  }
  if (::timerfd_settime(timer_.Get(), 0, &period, nullptr) == 0) timerArmed_ = wanted;
}

void TInotifySource::Handle(int wd, std::uint32_t mask, std::uint32_t cookie,
                            std::string_view name) {
  if (mask & IN_Q_OVERFLOW) {
    // Events were lost: every directory is listed again, and one whose
    // watch is now on another directory found out.
    FlushMove();
    reconciler_.OnOverflow();
    return;
  }
  if (wd == marksWatch_) {
    if (mask & IN_CREATE) {
      if (const std::optional<std::uint64_t> number = TBarrierFolder::Number(name)) {
        reconciler_.OnMark(*number);
      }
    }
    return;
  }
  if (mask & IN_IGNORED) {
    // The watch is gone. A directory still known here vanished without a
    // report yet (its parent's event may follow, or have been lost): a
    // listing finds out.
    watches_.erase(wd);
    if (const std::string* label = model_.LabelOf(KeyOf(wd))) {
      const std::string directory = *label;
      model_.ClearIdentity(directory);
      reconciler_.Request(directory);
    }
    return;
  }
  const std::string* label = model_.LabelOf(KeyOf(wd));
  if (label == nullptr || name.empty()) return;
  const std::string parent = *label;  // the model may change below
  if (!(mask & IN_MOVED_TO)) FlushMove();
  const bool directory = (mask & IN_ISDIR) != 0;
  const bool listedNow = reconciler_.Observe(parent, KeyOf(wd), name, directory);
  const std::string path = parent + std::string(name);
  const bool recorded = IsRecordedName(name);
  if (mask & IN_CREATE) {
    if (recorded) Appeared(path, directory);
  } else if (mask & IN_DELETE) {
    if (recorded) Vanished(path, directory);
  } else if (mask & IN_MOVED_FROM) {
    pendingMove_ = TPendingMove{cookie, path, directory, recorded, listedNow};
  } else if (mask & IN_MOVED_TO) {
    HandleMove(cookie, path, directory, recorded);
  }
}

void TInotifySource::HandleMove(std::uint32_t cookie, const std::string& path, bool directory,
                                bool recorded) {
  if (!pendingMove_ || pendingMove_->cookie != cookie) {
    FlushMove();
    if (recorded) Appeared(path, directory);  // moved in from elsewhere
    return;
  }
  const TPendingMove from = std::move(*pendingMove_);
  pendingMove_.reset();
  if (from.recorded && recorded) {
    Renamed(from.path, path, directory);
    // The tree may have lost the old name to a listing's test of the disk
    // made after the rename: the new name is there all the same.
    if (from.listed && !directory) sink_.Report(VXD_CODE_CREATE, 0, path);
  } else if (from.recorded) {
    Vanished(from.path, directory);  // renamed to a name the scan leaves out
  } else if (recorded) {
    Appeared(path, directory);
  }
}

void TInotifySource::Appeared(const std::string& path, bool directory) {
  if (!directory) {
    sink_.Report(VXD_CODE_CREATE, 0, path);
    return;
  }
  // What it holds, and what was made in it before it has a watch, only a
  // listing can tell.
  sink_.Report(VXD_CODE_DIRECTORY, 0, path);
  reconciler_.Request(path + "\\");
}

void TInotifySource::Vanished(const std::string& path, bool directory) {
  if (!directory) {
    sink_.Report(VXD_CODE_DELETE, 0, path);
    return;
  }
  sink_.Report(VXD_CODE_DIRECTORY, 1, path);
  // Moved out of the drives, its watches would go on reporting: they go.
  model_.Forget(path + "\\", reconciler_.Releaser());
}

void TInotifySource::Renamed(const std::string& from, const std::string& to, bool directory) {
  if (!directory) {
    sink_.Report(VXD_CODE_RENAME, 0, from, to);
    return;
  }
  if (!model_.Knows(from + "\\")) {
    // Not a directory the model has placed, so not one the tree holds
    // under that name either: it is new where it went.
    Appeared(to, true);
    return;
  }
  sink_.Report(VXD_CODE_RENAME, kDirectoryInfo, from, to);
  model_.Move(from + "\\", to + "\\", reconciler_.Releaser());
}

void TInotifySource::FlushMove() {
  if (!pendingMove_) return;
  const TPendingMove move = std::move(*pendingMove_);
  pendingMove_.reset();
  // Its partner never came: it left the watched directories.
  if (move.recorded) Vanished(move.path, move.directory);
}

}  // namespace varnoke::driver
