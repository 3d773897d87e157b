#include "tools/varnoke-setup/program_links.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace varnoke::setup {

namespace {

std::string ParentOf(const std::string& folder) {
  const std::size_t slash = folder.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : folder.substr(0, slash);
}

}  // namespace

std::vector<TProgramLink> ProgramLinks(const std::string& binFolder) {
  const std::string prefix = ParentOf(binFolder);
  return {{"mhook.dll", prefix + "/lib/varnoke/mhook.dll"},
          {"varnoke", binFolder + "/varnoke"},
          {"vk96.html", prefix + "/share/varnoke/vk96.html"}};
}

TLinkResult PlaceLink(const std::string& folder, const TProgramLink& link, std::string& problem) {
  const std::string path = folder + "/" + link.Name;
  struct stat st {};
  bool replacing = false;
  if (::lstat(path.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      problem = path + " is not a link; it is left as it is";
      return TLinkResult::NotALink;
    }
    if (::stat(path.c_str(), &st) == 0) return TLinkResult::Kept;
    replacing = true;  // a link that points nowhere
  }
  // Made under a temporary name and renamed over the old link, so that the
  // name never goes missing for a program that starts meanwhile.
  const std::string temporary = path + ".new";
  ::unlink(temporary.c_str());
  if (::symlink(link.Target.c_str(), temporary.c_str()) != 0 ||
      ::rename(temporary.c_str(), path.c_str()) != 0) {
    problem = "cannot link " + path + " to " + link.Target + ": " + std::strerror(errno);
    ::unlink(temporary.c_str());
    return TLinkResult::Failed;
  }
  return replacing ? TLinkResult::Replaced : TLinkResult::Made;
}

std::string ExecutableFolder() {
  std::array<char, PATH_MAX> exe{};
  const ssize_t n = ::readlink("/proc/self/exe", exe.data(), exe.size() - 1);
  if (n <= 0) return {};
  return ParentOf(std::string(exe.data(), static_cast<std::size_t>(n)));
}

}  // namespace varnoke::setup
