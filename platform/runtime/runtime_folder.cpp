#include "platform/runtime/runtime_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace varnoke::platform {
namespace {

bool MakePrivateFolder(const std::string& path, std::string& problem) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    problem = "cannot make the folder " + path + ": " + std::strerror(errno);
    return false;
  }
  return IsPrivateFolder(path, problem);
}

}  // namespace

bool IsPrivateFolder(const std::string& path, std::string& problem) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    problem = "cannot use the folder " + path + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    problem = path + " is not a folder";
    return false;
  }
  if (st.st_uid != ::geteuid()) {
    problem =
        "the folder " + path + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    return false;
  }
  if ((st.st_mode & 077) != 0) {
    problem = "the folder " + path + " is open to other users";
    return false;
  }
  return true;
}

std::optional<std::string> PrivateRuntimeFolder(std::string& problem) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string folder;
  if (runtime != nullptr && runtime[0] == '/') {
    if (!IsPrivateFolder(runtime, problem)) return std::nullopt;
    folder = std::string(runtime) + "/varnoke";
  } else {
    // /tmp, not $TMPDIR: every process of the user must meet in the same place.
    folder = "/tmp/varnoke-" + std::to_string(::geteuid());
  }
  if (!MakePrivateFolder(folder, problem)) return std::nullopt;
  return folder;
}

}  // namespace varnoke::platform
