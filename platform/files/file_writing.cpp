#include "platform/files/file_writing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/path_text.h"

namespace varnoke::platform {

bool MakeFolders(const std::string& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (folder.empty() || folder == "/" || folder == ".") return false;
  if (!MakeFolders(FolderOf(folder))) return false;
  return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = ENOSPC;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

TFileReplacement::TFileReplacement(std::string path, mode_t mode)
    : path_(std::move(path)), temporary_(path_ + ".XXXXXX") {
  file_.Reset(::mkostemp(temporary_.data(), O_CLOEXEC));
  if (!file_.Valid()) {
    Fail("create", errno);
    temporary_ = path_ + ".XXXXXX";
    return;
  }
  if (mode != 0600 && ::fchmod(file_.Get(), mode) != 0) {
    Fail("create", errno);
    ::unlink(temporary_.c_str());
    file_.Reset();
  }
}

TFileReplacement::~TFileReplacement() {
  if (committed_ || !file_.Valid()) return;
  // Emptied first: where the folder lets files be made but not removed
  // (append-only), the leftover then costs no space.
  [[maybe_unused]] const int emptied = ::ftruncate(file_.Get(), 0);
  ::unlink(temporary_.c_str());
}

bool TFileReplacement::Fail(const char* step, int error) {
  failedStep_ = step;
  error_ = error;
  return false;
}

std::string TFileReplacement::FailedPath() const {
  return failedStep_ == "rename" ? temporary_ + " to " + path_ : temporary_;
}

bool TFileReplacement::Write(std::string_view data) {
  if (!file_.Valid()) return false;  // the creation failed, and says so
  flushed_ = false;
  return WriteAll(file_.Get(), data) || Fail("write", errno);
}

bool TFileReplacement::Flush() {
  if (!file_.Valid()) return false;
  if (::fsync(file_.Get()) != 0) return Fail("flush", errno);
  flushed_ = true;
  return true;
}

bool TFileReplacement::Commit() {
  if (committed_) return true;
  if (!flushed_ && !Flush()) return false;
  if (::rename(temporary_.c_str(), path_.c_str()) != 0) return Fail("rename", errno);
  committed_ = true;
  file_.Reset();
  TUniqueFd folder(::open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Valid()) ::fsync(folder.Get());
  return true;
}

}  // namespace varnoke::platform
