#include "platform/config_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace varnoke::platform {
namespace {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    return entry->pw_dir;
  }
  return "/";
}

}  // namespace

std::string SettingsFolder() {
  // The XDG rules ignore a relative XDG_CONFIG_HOME.
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/') {
    return std::string(config) + "/varnoke";
  }
  return HomeFolder() + "/.config/varnoke";
}

std::string DriveLinkFolder() {
  return SettingsFolder() + "/dosdevices";
}

}  // namespace varnoke::platform
