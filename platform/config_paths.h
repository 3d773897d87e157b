// Where the program keeps its settings on this machine.
#pragma once

#include <string>

namespace varnoke::platform {

// $XDG_CONFIG_HOME/varnoke, or ~/.config/varnoke when XDG_CONFIG_HOME is not
// set to an absolute path.
std::string SettingsFolder();

// The folder of drive links, <settings folder>/dosdevices.
std::string DriveLinkFolder();

}  // namespace varnoke::platform
