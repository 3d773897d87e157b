#include "platform/drives.h"

namespace varnoke::platform {

bool ParseDriveRoot(std::string_view root, char& letter) noexcept {
  if (root.size() != 3 || root[1] != ':' || root[2] != '\\') return false;
  char c = root[0];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (c < 'A' || c > 'Z') return false;
  letter = c;
  return true;
}

}  // namespace varnoke::platform
