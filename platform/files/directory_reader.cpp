#include "platform/files/directory_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace varnoke::platform {

bool TDirectoryReader::Rewind(int fd) {
  return ::lseek(fd, 0, SEEK_SET) == 0;
}

long TDirectoryReader::NextBatch(int fd) {
  for (;;) {
    const ssize_t length = ::getdents64(fd, buffer_.data(), buffer_.size());
    if (length >= 0) return static_cast<long>(length);
    if (errno != EINTR) return -1;
  }
}

bool TDirectoryReader::IsDirectory(int fd, const TRawEntry& entry) {
  if (entry.Type != DT_UNKNOWN) return entry.Type == DT_DIR;
  const std::string name(entry.Name);
  struct stat st {};
  return ::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace varnoke::platform
