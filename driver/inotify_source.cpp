#include "driver/inotify_source.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "driver/tree_reporter.h"
#include "platform/device_abi.h"

namespace varnoke::driver {
namespace {

// No IN_DONT_FOLLOW: directories are named by their /proc/self/fd link,
// which must be followed; symbolic links are never reached that way.
constexpr std::uint32_t kMask =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR | IN_EXCL_UNLINK;
constexpr std::uint32_t kDirectoryInfo = 0x10;
constexpr int kUnwatched = -1;

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

bool TInotifySource::Start(const std::vector<std::string>& roots) {
  inotify_.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (!inotify_.Valid()) return false;
  for (const std::string& root : roots) {
    // Watching every directory, nothing reported: the tree was scanned.
    platform::TDirectoryListing listing;
    std::vector<std::string> pending{root};
    while (!pending.empty()) {
      const std::string directory = std::move(pending.back());
      pending.pop_back();
      if (!Watch(directory) || !files_.ListDirectory(directory, false, listing)) continue;
      for (std::size_t i = 0; i < listing.Size(); ++i) {
        if ((listing.At(i).Attributes & platform::kFileAttributeDirectory) &&
            IsRecordedName(listing.Name(i))) {
          pending.push_back(directory + std::string(listing.Name(i)) + "\\");
        }
      }
    }
  }
  return true;
}

bool TInotifySource::Watch(const std::string& directory) {
  // The directory is reached through its descriptor, so that paths of any
  // length and the rules of the scan (no symbolic links, only fixed disks)
  // hold for watches too.
  platform::TUniqueFd fd = files_.OpenDirectory(directory);
  if (!fd.Valid()) return false;
  const std::string handle = "/proc/self/fd/" + std::to_string(fd.Get());
  const int wd = ::inotify_add_watch(inotify_.Get(), handle.c_str(), kMask);
  if (wd < 0) {
    // Known but unwatched (out of watches, say): the next resynchronisation
    // looks at it again.
    watchByPath_.try_emplace(directory, kUnwatched);
    return false;
  }
  // The directory was watched under another name: it moved while events
  // were lost (or is mounted twice). The watch takes the new name; the old
  // one stays known, unwatched, so that a resynchronisation reports it gone
  // if it is.
  if (const auto old = pathByWatch_.find(wd);
      old != pathByWatch_.end() && old->second != directory) {
    watchByPath_[old->second] = kUnwatched;
  }
  pathByWatch_[wd] = directory;
  watchByPath_[directory] = wd;
  return true;
}

void TInotifySource::Forget(const std::string& directory, bool removeWatches) {
  const std::string prefix = directory.back() == '\\' ? directory : directory + "\\";
  auto it = watchByPath_.lower_bound(prefix);
  while (it != watchByPath_.end() && StartsWith(it->first, prefix)) {
    if (it->second != kUnwatched) {
      if (removeWatches) ::inotify_rm_watch(inotify_.Get(), it->second);
      pathByWatch_.erase(it->second);
    }
    it = watchByPath_.erase(it);
  }
}

void TInotifySource::Rename(const std::string& from, const std::string& to) {
  // A directory rename moves the watches below it along with their paths.
  const std::string oldPrefix = from + "\\";
  const std::string newPrefix = to + "\\";
  Forget(newPrefix, true);  // a directory it replaced
  std::vector<std::pair<std::string, int>> moved;
  for (auto it = watchByPath_.lower_bound(oldPrefix);
       it != watchByPath_.end() && StartsWith(it->first, oldPrefix);) {
    moved.emplace_back(newPrefix + it->first.substr(oldPrefix.size()), it->second);
    it = watchByPath_.erase(it);
  }
  for (auto& [path, wd] : moved) {
    if (wd != kUnwatched) pathByWatch_[wd] = path;
    watchByPath_[path] = wd;
  }
  for (std::string& directory : walkedAhead_) {
    if (StartsWith(directory + "\\", oldPrefix)) directory = to + directory.substr(from.size());
  }
}

void TInotifySource::Appeared(const std::string& path, bool directory) {
  if (!directory) {
    sink_.Report(VXD_CODE_CREATE, 0, path);
    return;
  }
  // Watch first, then list: what is made in between shows in the listing,
  // what is made after it comes as events. Either may report an entry twice;
  // a second creation report changes nothing.
  ReportTree(files_, sink_, path, true, [this](const std::string& d) { Watch(d); });
  walkedAhead_.push_back(path);
}

void TInotifySource::Vanished(const std::string& path, bool directory) {
  if (directory) {
    sink_.Report(VXD_CODE_DIRECTORY, 1, path);
    Forget(path, true);
  } else {
    sink_.Report(VXD_CODE_DELETE, 0, path);
  }
}

void TInotifySource::FlushMove() {
  if (!pendingMove_) return;
  const TPendingMove move = std::move(*pendingMove_);
  pendingMove_.reset();
  // Its partner never came: it left the watched directories.
  if (move.recorded) Vanished(move.path, move.directory);
}

void TInotifySource::Handle(int wd, std::uint32_t mask, std::uint32_t cookie,
                            std::string_view name) {
  if (mask & IN_Q_OVERFLOW) {
    FlushMove();
    Resynchronize();
    return;
  }
  if (mask & IN_IGNORED) {
    // The watch is gone. A directory still known here has vanished without
    // a report yet (its parent's event may follow, or have been lost):
    // it stays known, unwatched, until that report or a resynchronisation.
    if (const auto it = pathByWatch_.find(wd); it != pathByWatch_.end()) {
      watchByPath_[it->second] = kUnwatched;
      pathByWatch_.erase(it);
    }
    return;
  }
  const auto directory = pathByWatch_.find(wd);
  if (directory == pathByWatch_.end() || name.empty()) return;
  const std::string path = directory->second + std::string(name);
  const bool isDirectory = (mask & IN_ISDIR) != 0;
  const bool recorded = IsRecordedName(name);

  if (!(mask & IN_MOVED_TO)) FlushMove();
  if (mask & IN_CREATE) {
    if (recorded) Appeared(path, isDirectory);
  } else if (mask & IN_DELETE) {
    if (recorded) Vanished(path, isDirectory);
  } else if (mask & IN_MOVED_FROM) {
    pendingMove_ = TPendingMove{cookie, path, isDirectory, recorded};
  } else if (mask & IN_MOVED_TO) {
    if (pendingMove_ && pendingMove_->cookie == cookie) {
      const TPendingMove from = std::move(*pendingMove_);
      pendingMove_.reset();
      if (from.recorded && recorded) {
        // A directory read too late to be watched where it was made (it had
        // moved on) had events nobody saw: its contents are listed now.
        const auto watch = watchByPath_.find(from.path + "\\");
        const bool unwatched = watch == watchByPath_.end() || watch->second == kUnwatched;
        sink_.Report(VXD_CODE_RENAME, isDirectory ? kDirectoryInfo : 0, from.path, path);
        // Should the tree not hold the old name (a resynchronisation's
        // wildcard deletion may have run ahead), the file exists under the
        // new one all the same; a creation that finds it changes nothing.
        if (!isDirectory) sink_.Report(VXD_CODE_CREATE, 0, path);
        if (isDirectory) Rename(from.path, path);
        if (isDirectory && unwatched) {
          // The tree may not hold the old name either: the directory
          // itself is reported as well as what it holds.
          ReportTree(files_, sink_, path, true, [this](const std::string& d) { Watch(d); });
          walkedAhead_.push_back(path);
        }
      } else if (from.recorded) {
        Vanished(from.path, isDirectory);  // renamed to a name the scan leaves out
      } else if (recorded) {
        Appeared(path, isDirectory);
      }
    } else {
      FlushMove();
      if (recorded) Appeared(path, isDirectory);  // moved in from elsewhere
    }
  }
}

void TInotifySource::OnReadable() {
  alignas(inotify_event) char buffer[64 * 1024];
  for (;;) {
    const ssize_t length = ::read(inotify_.Get(), buffer, sizeof buffer);
    if (length <= 0) {  // EAGAIN: all read
      if (!pendingMove_) RewalkAhead();
      return;
    }
    for (ssize_t offset = 0; offset < length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
      const std::string_view name =
          event->len > 0 ? std::string_view(event->name) : std::string_view();
      Handle(event->wd, event->mask, event->cookie, name);
      offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
}

void TInotifySource::RewalkAhead() {
  // A new directory is listed when its event is read, which may be well
  // after it came: what was made in it meanwhile, and moved in and out of
  // it, had no watch to report it. Once the queue is drained the same
  // directories are listed again, adding what the first listing could not
  // see (creations change nothing when the entry is there).
  std::vector<std::string> directories;
  directories.swap(walkedAhead_);
  for (const std::string& directory : directories) {
    ReportTree(files_, sink_, directory, false, [this](const std::string& d) { Watch(d); });
  }
}

void TInotifySource::Resynchronize() {
  // For each watched directory, parents first: entries whose files are gone
  // go by a wildcard deletion, then every entry there is reported again;
  // directories that are gone are reported removed.
  std::vector<std::string> known;
  for (const auto& [path, wd] : watchByPath_)
    known.push_back(path);

  platform::TDirectoryListing listing;
  for (const std::string& directory : known) {
    const auto entry = watchByPath_.find(directory);

    if (entry == watchByPath_.end()) continue;  // gone with a parent
    if (entry->second == kUnwatched) Watch(directory);

    if (!files_.ListDirectory(directory, false, listing)) {
      if (directory.size() > 3) Vanished(directory.substr(0, directory.size() - 1), true);
      continue;
    }
    sink_.Report(VXD_CODE_DELETE, 0, directory + "*");
    sink_.Report(VXD_CODE_DIRECTORY, 1, directory + "*");
    for (std::size_t i = 0; i < listing.Size(); ++i) {
      const std::string_view name = listing.Name(i);
      if (!IsRecordedName(name)) continue;
      const std::string path = directory + std::string(name);
      const bool isDirectory = listing.At(i).Attributes & platform::kFileAttributeDirectory;
      if (!isDirectory) {
        sink_.Report(VXD_CODE_CREATE, 0, path);
      } else if (watchByPath_.count(path + "\\") != 0) {
        sink_.Report(VXD_CODE_DIRECTORY, 0, path);
      } else {
        Appeared(path, true);
      }
    }
  }
}

}  // namespace varnoke::driver
