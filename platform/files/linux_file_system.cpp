#include "platform/files/linux_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/drives/drive_overlaps.h"
#include "platform/upcase.h"

namespace varnoke::platform {
namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

TUniqueFd OpenAt(int parent, const std::string& name) {
  return TUniqueFd(::openat(parent, name.c_str(), kDirectoryFlags));
}

// The name of the first entry of the directory fd whose upper-cased form
// equals that of name.
std::optional<std::string> FindCaseBlind(TDirectoryReader& reader, int fd, std::string_view name) {
  std::optional<std::string> found;
  reader.ReadAll(fd, true, [&](const TRawEntry& entry) {
    if (!found && entry.Name != "." && entry.Name != ".." && CompareNoCase(entry.Name, name) == 0) {
      found = std::string(entry.Name);
    }
  });
  return found;
}

// The name as the directory fd spells it: the name itself when it is there,
// else the first entry that equals it case-blind; nothing when neither is.
std::optional<std::string> SpellingOnDisk(TDirectoryReader& reader, int fd, std::string_view name) {
  const std::string exact(name);
  struct stat st {};
  if (::fstatat(fd, exact.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return exact;
  return FindCaseBlind(reader, fd, name);
}

}  // namespace

TLinuxFileSystem::TLinuxFileSystem(const TLinuxDrives& drives, TMountTable& mounts)
    : drives_(drives), mounts_(mounts) {}

void TLinuxFileSystem::NoteOverlaps(char letter) {
  keptElsewhere_.clear();
  rootKeptElsewhere_ = false;
  for (const TDriveOverlap& overlap : FindDriveOverlaps(drives_)) {
    if (overlap.Keeper == letter) continue;
    if (overlap.Letter == letter) {
      rootKeptElsewhere_ = true;  // the same folder as an earlier drive's root
    } else if (overlap.Holder == letter) {
      struct stat st {};
      const std::string root = drives_.HostRoot(overlap.Letter);
      if (::stat(root.c_str(), &st) == 0) keptElsewhere_.insert({st.st_dev, st.st_ino});
    }
  }
}

bool TLinuxFileSystem::OpenRoot(char letter, bool verify) {
  // Within a walk the root stays as it was when the walk began.
  if (!verify && letter == letter_ && !levels_.empty() && levels_[0].fd.Valid()) return true;
  const std::string root = drives_.HostRoot(letter);
  if (root.empty()) {
    DropLevels(0);
    return false;
  }
  // Each walk starts with the drives as they are now.
  NoteOverlaps(letter);
  if (rootKeptElsewhere_) {
    DropLevels(0);
    letter_ = 0;
    return false;
  }
  if (letter == letter_ && root == rootPath_ && !levels_.empty() && levels_[0].fd.Valid()) {
    // Listing the root itself starts a walk: make sure the kept descriptor
    // is still the directory that the root path names.
    struct stat st {};
    if (::stat(root.c_str(), &st) == 0 && st.st_dev == levels_[0].dev &&
        st.st_ino == levels_[0].ino) {
      return true;
    }
  }
  DropLevels(0);
  letter_ = letter;
  rootPath_ = root;
  Level level;
  level.fd.Reset(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat st {};
  if (!level.fd.Valid() || ::fstat(level.fd.Get(), &st) != 0) return false;
  level.dev = st.st_dev;
  level.ino = st.st_ino;
  level.end = 3;
  chainPath_ = std::string{letter, ':', '\\'};
  chainIds_.insert(Id(level));
  levels_.push_back(std::move(level));
  return true;
}

void TLinuxFileSystem::DropLevels(std::size_t keep) {
  while (levels_.size() > keep) {
    chainIds_.erase(Id(levels_.back()));
    levels_.pop_back();
  }
  chainPath_.resize(levels_.empty() ? 0 : levels_.back().end);
}

void TLinuxFileSystem::CloseBehindWindow(std::size_t opened) {
  // Only the root and the deepest levels keep their descriptors; levels are
  // always opened in increasing depth, so closing the one that falls out of
  // the window keeps every other one out of it closed.
  if (opened > kMaxOpenLevels) levels_[opened - kMaxOpenLevels].fd.Reset();
}

bool TLinuxFileSystem::EnsureOpen(std::size_t index) {
  if (levels_[index].fd.Valid()) return true;
  // Reopen from the nearest open ancestor (the root always is), checking
  // that each directory is still the one that was there.
  std::size_t open = index;
  while (!levels_[open].fd.Valid())
    --open;
  for (std::size_t i = open + 1; i <= index; ++i) {
    Level& level = levels_[i];
    level.fd = OpenAt(levels_[i - 1].fd.Get(), level.hostName);
    level.unread = true;
    struct stat st {};
    if (!level.fd.Valid() || ::fstat(level.fd.Get(), &st) != 0 || st.st_dev != level.dev ||
        st.st_ino != level.ino) {
      DropLevels(i);
      return false;
    }
    CloseBehindWindow(i);
  }
  return true;
}

bool TLinuxFileSystem::PushChild(std::string_view name) {
  if (!EnsureOpen(levels_.size() - 1)) return false;
  Level& parent = levels_.back();
  Level child;
  child.hostName = std::string(name);
  child.fd = OpenAt(parent.fd.Get(), child.hostName);
  if (!child.fd.Valid() && errno == ENOENT) {
    parent.unread = false;  // the search below reads it
    if (std::optional<std::string> match = FindCaseBlind(reader_, parent.fd.Get(), name)) {
      child.hostName = std::move(*match);
      child.fd = OpenAt(parent.fd.Get(), child.hostName);
    }
  }
  struct stat st {};
  if (!child.fd.Valid() || ::fstat(child.fd.Get(), &st) != 0) return false;
  child.dev = st.st_dev;
  child.ino = st.st_ino;
  // Into another file system only when it is a fixed disk.
  if (child.dev != parent.dev && mounts_.TypeOfDevice(child.dev) != TDriveType::Fixed) return false;
  // Another drive's root is listed under that drive only.
  if (keptElsewhere_.count(Id(child)) != 0) return false;
  // A bind mount can make a directory its own descendant.
  if (!chainIds_.insert(Id(child)).second) return false;
  chainPath_.append(name).push_back('\\');
  child.end = chainPath_.size();
  levels_.push_back(std::move(child));
  CloseBehindWindow(levels_.size() - 1);
  return true;
}

bool TLinuxFileSystem::OpenChain(char letter, std::string_view path) {
  // Listing a drive's root starts a walk: the directories kept from an
  // earlier one may have been moved since, so they go.
  const bool root = path.size() == 3;
  if (!OpenRoot(letter, root)) return false;
  // Keep the levels whose path is a prefix of this one, as the walk's
  // subdirectories are: comparing the texts costs no more than copying.
  std::size_t keep = 1;
  if (!root) {
    const std::size_t limit = std::min(path.size(), chainPath_.size());
    std::size_t common = 3;
    while (common < limit && path[common] == chainPath_[common])
      ++common;
    while (keep < levels_.size() && levels_[keep].end <= common)
      ++keep;
  }
  DropLevels(keep);
  std::string_view rest = path.substr(chainPath_.size());
  while (!rest.empty()) {
    const std::size_t slash = rest.find('\\');
    if (slash == 0 || slash == std::string_view::npos) return false;  // empty or unterminated
    if (!PushChild(rest.substr(0, slash))) return false;
    rest.remove_prefix(slash + 1);
  }
  return EnsureOpen(levels_.size() - 1);
}

bool TLinuxFileSystem::ReadListing(int fd, bool rewind, bool withSizes,
                                   TDirectoryListing& listing) {
  return reader_.ReadAll(fd, rewind, [&](const TRawEntry& entry) {
    const bool directory = TDirectoryReader::IsDirectory(fd, entry);
    std::uint32_t size = 0;
    if (withSizes && !directory) {
      const std::string name(entry.Name);
      struct stat st {};
      if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        size = static_cast<std::uint32_t>(static_cast<std::uint64_t>(st.st_size));
      }
    }
    listing.Add(entry.Name, directory ? kFileAttributeDirectory : 0, size);
  });
}

bool TLinuxFileSystem::ListDirectory(std::string_view path, bool withSizes,
                                     TDirectoryListing& listing) {
  listing.Clear();
  char letter = 0;
  if (path.size() < 3 || !ParseDriveRoot(path.substr(0, 3), letter)) return false;
  std::string normal(path);
  normal[0] = letter;
  if (normal.back() != '\\') normal.push_back('\\');
  std::lock_guard guard(mutex_);
  if (!OpenChain(letter, normal)) return false;
  Level& level = levels_.back();
  ReadListing(level.fd.Get(), !level.unread, withSizes, listing);
  level.unread = false;
  return true;
}

bool TLinuxFileSystem::ListDirectoryAfresh(std::string_view path, TDirectoryListing& listing) {
  {
    // The drive's root stays: its link does not change the way folders are
    // renamed, and opening it again would mean looking at every drive. A
    // listing by another thread in between opens what it needs afresh too.
    std::lock_guard guard(mutex_);
    if (!levels_.empty()) DropLevels(1);
  }
  return ListDirectory(path, false, listing);
}

bool TLinuxFileSystem::OpenLevel(std::string_view path, bool afresh) {
  char letter = 0;
  if (path.size() < 3 || !ParseDriveRoot(path.substr(0, 3), letter)) return false;
  std::string normal(path);
  normal[0] = letter;
  if (normal.back() != '\\') normal.push_back('\\');
  // The root is checked anew by OpenChain in any case.
  if (afresh && !levels_.empty()) DropLevels(1);
  return OpenChain(letter, normal);
}

TUniqueFd TLinuxFileSystem::Open(std::string_view path, bool afresh) {
  std::lock_guard guard(mutex_);
  if (!OpenLevel(path, afresh)) return TUniqueFd();
  Level& level = levels_.back();
  // The copy shares the level's place in the directory: whatever the
  // caller reads through it, the next listing of the level starts over.
  level.unread = false;
  return TUniqueFd(::fcntl(level.fd.Get(), F_DUPFD_CLOEXEC, 0));
}

bool TLinuxFileSystem::InspectDirectory(std::string_view path, bool afresh,
                                        const std::function<bool(int fd)>& inspect,
                                        TDirectoryListing& listing, bool& read) {
  listing.Clear();
  read = false;
  std::lock_guard guard(mutex_);
  if (!OpenLevel(path, afresh)) return false;
  Level& level = levels_.back();
  if (!inspect(level.fd.Get())) return true;
  read = ReadListing(level.fd.Get(), !level.unread, false, listing);
  if (!read) listing.Clear();
  level.unread = false;
  return true;
}

TUniqueFd TLinuxFileSystem::OpenDirectory(std::string_view path) {
  return Open(path, false);
}

TUniqueFd TLinuxFileSystem::OpenDirectoryAfresh(std::string_view path) {
  return Open(path, true);
}

bool TLinuxFileSystem::ListOpenDirectory(int fd, TDirectoryListing& listing) {
  listing.Clear();
  std::lock_guard guard(mutex_);
  // A descriptor of the caller's may be anywhere in the directory.
  return ReadListing(fd, true, false, listing);
}

bool TLinuxFileSystem::FileExists(std::string_view path) const {
  char letter = 0;
  if (path.size() < 3 || !ParseDriveRoot(path.substr(0, 3), letter)) return false;
  const std::string root = drives_.HostRoot(letter);
  if (root.empty()) return false;
  // Each step is taken relative to the directory before it, as the listing
  // does, so that no host path is built: one longer than PATH_MAX would
  // make a present file look gone.
  TDirectoryReader reader;
  TUniqueFd directory(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!directory.Valid()) return false;
  std::string_view rest = path.substr(3);
  while (!rest.empty()) {
    const std::size_t slash = std::min(rest.find('\\'), rest.size());
    const std::string_view name = rest.substr(0, slash);
    rest.remove_prefix(std::min(slash + 1, rest.size()));
    if (name.empty()) continue;
    const std::optional<std::string> onDisk = SpellingOnDisk(reader, directory.Get(), name);
    if (!onDisk) return false;
    if (rest.find_first_not_of('\\') == std::string_view::npos) return true;  // the last one
    directory = OpenAt(directory.Get(), *onDisk);
    if (!directory.Valid()) return false;
  }
  return true;  // the drive's root
}

std::string TLinuxFileSystem::HostPath(std::string_view drivePath) const {
  char letter = 0;
  if (drivePath.size() < 3 || !ParseDriveRoot(drivePath.substr(0, 3), letter)) return {};
  std::string host = drives_.HostRoot(letter);
  if (host.empty()) return {};
  TDirectoryReader reader;
  TUniqueFd directory(::open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  std::string_view rest = drivePath.substr(3);
  while (!rest.empty()) {
    const std::size_t slash = std::min(rest.find('\\'), rest.size());
    std::string name(rest.substr(0, slash));
    rest.remove_prefix(std::min(slash + 1, rest.size()));
    if (name.empty()) continue;
    if (directory.Valid()) {
      if (std::optional<std::string> onDisk = SpellingOnDisk(reader, directory.Get(), name)) {
        name = std::move(*onDisk);
      }
      directory = OpenAt(directory.Get(), name);
    }
    if (host.back() != '/') host += '/';
    host += name;
  }
  return host;
}

}  // namespace varnoke::platform
