#include "platform/files/linux_data_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/files/file_writing.h"
#include "platform/files/leftover_files.h"
#include "platform/path_text.h"
#include "platform/unique_fd.h"

namespace varnoke::platform {
namespace {

// Reads go in steps of this size, so that a check can refuse a file long
// before all of a huge one is in memory.
constexpr std::size_t kReadStep = std::size_t{8} << 20;

std::string LockPath(const std::string& path) {
  return path + ".lock";
}

TFileError ReplacementError(const TFileReplacement& replacement) {
  // A write that the disk took nothing of has no error of its own.
  return SystemFileError(replacement.FailedStep(), replacement.FailedPath(),
                         replacement.Error() != 0 ? replacement.Error() : ENOSPC);
}

// Gives the cached pages of the file at path back to the system. Used on a
// file that is about to be replaced: its pages are of no more use, and the
// new version's pages are then taken from those just freed rather than from
// memory the system has to find first (on a virtual machine, to back first),
// which for a file of a few hundred megabytes takes longer than the write.
void DropCachedPages(const std::string& path) {
  const TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  struct stat st {};
  if (fd.Valid() && ::fstat(fd.Get(), &st) == 0 && S_ISREG(st.st_mode)) {
    ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_DONTNEED);
  }
}

bool TakeLock(int fd, int operation) {
  while (::flock(fd, operation) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

class TLinuxFileLock : public TFileLock {
 public:
  explicit TLinuxFileLock(TUniqueFd fd) : fd_(std::move(fd)) {}

 private:
  TUniqueFd fd_;  // the lock goes with the descriptor
};

class TLinuxPendingFile : public TPendingFile {
 public:
  TLinuxPendingFile(TUniqueFd lock, std::unique_ptr<TFileReplacement> replacement)
      : lock_(std::move(lock)), replacement_(std::move(replacement)) {}

  bool Write(std::string_view data) override { return Report(replacement_->Write(data)); }
  bool Flush() override { return Report(replacement_->Flush()); }
  bool Commit() override { return Report(replacement_->Commit()); }

 private:
  bool Report(bool done) {
    if (!done) error_ = ReplacementError(*replacement_);
    return done;
  }

  TUniqueFd lock_;  // held for the pending file's whole life
  std::unique_ptr<TFileReplacement> replacement_;
};

}  // namespace

bool TLinuxDataFiles::ReadFile(const std::string& path, TFileImage& image, TFileError& error,
                               TReadCheck* check) {
  // Without O_NONBLOCK, opening a FIFO would wait for a writer for ever.
  TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd.Valid()) {
    error = SystemFileError("open", path, errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) {
    error = SystemFileError("read", path, errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error = RefusedFile("read", path, "it is not a regular file");
    return false;
  }
  // One byte more than the file holds shows whether it grew meanwhile. The
  // image is only reserved here: its pages cost memory once they are read.
  std::size_t capacity = static_cast<std::size_t>(st.st_size) + 1;
  TFileImage data(capacity);
  std::size_t size = 0;
  for (;;) {
    if (size == capacity) {
      TFileImage bigger(capacity * 2);
      std::memcpy(bigger.MutableData(), data.Data(), size);
      data = std::move(bigger);
      capacity *= 2;
    }
    const ssize_t n =
        ::read(fd.Get(), data.MutableData() + size, std::min(capacity - size, kReadStep));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = SystemFileError("read", path, errno);
      return false;
    }
    if (n == 0) break;
    size += static_cast<std::size_t>(n);
    std::string detail;
    if (check != nullptr && !check->Plausible(data.Data(), size, detail)) {
      error = RefusedFile("read", path, detail);
      return false;
    }
  }
  data.Shrink(size);
  image = std::move(data);
  return true;
}

bool TLinuxDataFiles::CanReplace(const std::string& path, TFileError& error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return true;
    error = SystemFileError("replace", path, errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error = RefusedFile("replace", path, "it is not a regular file");
    return false;
  }
  if (::access(path.c_str(), W_OK) != 0) {
    error = SystemFileError("replace", path, errno);
    return false;
  }
  return true;
}

std::unique_ptr<TFileLock> TLinuxDataFiles::ShareLock(const std::string& path) {
  const std::string lockPath = LockPath(path);
  TUniqueFd fd(::open(lockPath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600));
  // A reader that may not make the lock file still shares one that exists.
  if (!fd.Valid()) fd.Reset(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.Valid() || !TakeLock(fd.Get(), LOCK_SH)) return nullptr;
  return std::make_unique<TLinuxFileLock>(std::move(fd));
}

std::unique_ptr<TPendingFile> TLinuxDataFiles::BeginReplace(const std::string& path,
                                                            TFileError& error) {
  const std::string lockPath = LockPath(path);
  TUniqueFd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600));
  if (!lock.Valid() || !TakeLock(lock.Get(), LOCK_EX)) {
    error = SystemFileError("lock", lockPath, errno);
    return nullptr;
  }
  RemoveLeftoverTemporaries(path);
  DropCachedPages(path);
  auto replacement = std::make_unique<TFileReplacement>(path);
  if (!replacement->Valid()) {
    error = ReplacementError(*replacement);
    return nullptr;
  }
  return std::make_unique<TLinuxPendingFile>(std::move(lock), std::move(replacement));
}

}  // namespace varnoke::platform
