#include "platform/files/file_writing.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace varnoke::platform
