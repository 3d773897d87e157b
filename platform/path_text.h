// Small helpers on host path texts.
#pragma once

#include <string>

namespace varnoke::platform {

// The folder part of a host path: "." for a bare name, "/" for the root.
inline std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace varnoke::platform
