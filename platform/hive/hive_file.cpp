#include "platform/hive/hive_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/config_paths.h"
#include "platform/files/file_writing.h"
#include "platform/files/leftover_files.h"
#include "platform/hive/hive_format.h"
#include "platform/messages.h"
#include "platform/path_text.h"
#include "platform/unique_fd.h"

namespace varnoke::platform {
namespace {

// No settings file comes near this; a bigger one (or a device that never
// ends) is refused before it fills the memory.
constexpr std::size_t kMaxHiveBytes = std::size_t{4} << 20;

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

bool THiveFile::Identity::operator==(const Identity& other) const noexcept {
  return dev == other.dev && ino == other.ino && size == other.size &&
         SameTime(mtime, other.mtime) && SameTime(ctime, other.ctime);
}

THiveFile::THiveFile(std::string path) : path_(std::move(path)) {}

THiveRead THiveFile::ReadFile(Identity* identity) const {
  THiveRead read;
  // Without O_NONBLOCK, opening a FIFO would wait for a writer for ever.
  TUniqueFd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd.Valid()) {
    if (errno == ENOENT) {
      read.Readable = true;  // no hive yet: no keys
      if (identity != nullptr) *identity = Identity{};
      return read;
    }
    read.Problem = FormatMessage(kMsgHiveUnreadable, {path_, 0, std::strerror(errno)});
    return read;
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    read.Problem = FormatMessage(kMsgHiveUnreadable, {path_, 0, "it is not a regular file"});
    return read;
  }
  if (identity != nullptr) {
    *identity = Identity{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
  }
  const auto tooLarge = [&] {
    read.Problem =
        FormatMessage(kMsgHiveUnreadable, {path_, 0, "it is larger than any settings file (4 MB)"});
    return read;
  };
  if (static_cast<std::size_t>(st.st_size) > kMaxHiveBytes) return tooLarge();
  std::string text;
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      read.Problem = FormatMessage(kMsgHiveUnreadable, {path_, 0, std::strerror(errno)});
      return read;
    }
    if (n == 0) break;
    // The file may grow while it is read.
    if (text.size() + static_cast<std::size_t>(n) > kMaxHiveBytes) return tooLarge();
    text.append(buffer, static_cast<std::size_t>(n));
  }
  THiveParseError error;
  if (!ParseHive(text, read.Contents, error)) {
    read.Problem = FormatMessage(kMsgHiveUnreadable, {path_, error.Line, error.Reason});
    return read;
  }
  read.Readable = true;
  return read;
}

THiveRead THiveFile::Read() const {
  struct stat st {};
  Identity now;
  const bool exists = ::stat(path_.c_str(), &st) == 0;
  if (exists) now = Identity{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
  {
    std::lock_guard guard(mutex_);
    if (cached_ && exists && now == cachedIdentity_) return cachedRead_;
  }
  Identity identity;
  THiveRead read = ReadFile(&identity);
  if (identity.ino != 0) {
    std::lock_guard guard(mutex_);
    cached_ = true;
    cachedIdentity_ = identity;
    cachedRead_ = read;
  }
  return read;
}

std::optional<std::uint64_t> THiveFile::Stamp() const {
  struct stat st {};
  Identity now;  // a missing file has the empty identity
  if (::stat(path_.c_str(), &st) == 0) {
    now = Identity{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
  } else if (errno != ENOENT) {
    return std::nullopt;  // cannot tell
  }
  std::lock_guard guard(mutex_);
  if (!stamped_ || !(now == stampedIdentity_)) {
    stamped_ = true;
    stampedIdentity_ = now;
    ++stamp_;
  }
  return stamp_;
}

TModifyResult THiveFile::Modify(const std::function<bool(THiveContents&)>& edit,
                                std::string& problem) {
  const auto unwritable = [&](int error) {
    problem = FormatMessage(kMsgHiveUnwritable, {path_, std::strerror(error)});
    return TModifyResult::Unwritable;
  };
  const std::string folder = FolderOf(path_);
  if (!MakeFolders(folder)) return unwritable(errno != 0 ? errno : ENOTDIR);

  // The lock lives in a file of its own: the hive itself is replaced by
  // every write, and a lock on a replaced file would guard nothing.
  TUniqueFd lock(::open((path_ + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!lock.Valid()) return unwritable(errno);
  while (::flock(lock.Get(), LOCK_EX) != 0) {
    if (errno != EINTR) return unwritable(errno);
  }

  RemoveLeftoverTemporaries(path_);
  THiveRead read = ReadFile(nullptr);
  if (!read.Readable) {
    problem = read.Problem;
    return TModifyResult::Unreadable;
  }
  if (!edit(read.Contents)) return TModifyResult::Declined;

  TFileReplacement replacement(path_);
  if (!replacement.Write(FormatHive(read.Contents)) || !replacement.Commit()) {
    return unwritable(replacement.Error() != 0 ? replacement.Error() : EIO);
  }
  return TModifyResult::Written;
}

std::string DefaultHivePath() {
  return SettingsFolder() + "/registry.reg";
}

}  // namespace varnoke::platform
