#include "platform/drives/drive_map.h"

#include <unistd.h>

#include <array>
#include <climits>

namespace varnoke::platform {

std::optional<std::string> TDriveMap::LinkTarget(char letter) const {
  if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
  if (letter < 'a' || letter > 'z') return std::nullopt;
  const std::string link = folder_ + "/" + letter + ":";
  std::array<char, PATH_MAX> target{};
  const ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return std::nullopt;
  std::string path(target.data(), static_cast<std::size_t>(length));
  // A relative link points from the folder that holds it.
  if (path[0] != '/') path = folder_ + "/" + path;
  return path;
}

}  // namespace varnoke::platform
