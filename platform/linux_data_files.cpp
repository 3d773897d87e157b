#include "platform/linux_data_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/path_text.h"
#include "platform/unique_fd.h"

namespace varnoke::platform {
namespace {

class TLinuxPendingFile : public TPendingFile {
 public:
  TLinuxPendingFile(TUniqueFd lock, TUniqueFd file, std::string temporary, std::string target)
      : lock_(std::move(lock)),
        file_(std::move(file)),
        temporary_(std::move(temporary)),
        target_(std::move(target)) {}

  ~TLinuxPendingFile() override {
    if (!committed_) ::unlink(temporary_.c_str());
  }

  bool Write(std::string_view data) override {
    while (!data.empty()) {
      const ssize_t n = ::write(file_.Get(), data.data(), data.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  bool Flush() override { return ::fsync(file_.Get()) == 0; }

  bool Commit() override {
    if (committed_) return true;
    if (::close(file_.Release()) != 0) return false;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) return false;
    committed_ = true;
    TUniqueFd folder(::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Valid()) ::fsync(folder.Get());
    return true;
  }

 private:
  TUniqueFd lock_;  // held for the pending file's whole life
  TUniqueFd file_;
  std::string temporary_;
  std::string target_;
  bool committed_ = false;
};

}  // namespace

bool TLinuxDataFiles::ReadFile(const std::string& path, TFileImage& image) {
  TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  // One byte more than the file holds shows whether it grew meanwhile.
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
    const ssize_t n = ::read(fd.Get(), data.MutableData() + size, capacity - size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    size += static_cast<std::size_t>(n);
  }
  data.Shrink(size);
  image = std::move(data);
  return true;
}

bool TLinuxDataFiles::CanReplace(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno == ENOENT;
  return S_ISREG(st.st_mode) && ::access(path.c_str(), W_OK) == 0;
}

std::unique_ptr<TPendingFile> TLinuxDataFiles::BeginReplace(const std::string& path) {
  TUniqueFd lock(::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!lock.Valid()) return nullptr;
  while (::flock(lock.Get(), LOCK_EX) != 0) {
    if (errno != EINTR) return nullptr;
  }
  std::string temporary = path + ".XXXXXX";
  TUniqueFd file(::mkostemp(temporary.data(), O_CLOEXEC));
  if (!file.Valid()) return nullptr;
  return std::make_unique<TLinuxPendingFile>(std::move(lock), std::move(file), std::move(temporary),
                                             path);
}

}  // namespace varnoke::platform
