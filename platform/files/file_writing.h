// Small steps of writing files that the settings hive and the autostart
// entry share.
#pragma once

#include <string>
#include <string_view>

namespace varnoke::platform {

// Makes folder and the folders above it that are missing (mode 0700);
// true when it is a folder now.
bool MakeFolders(const std::string& folder);

// Writes all of data to fd, through short writes and interruptions.
bool WriteAll(int fd, std::string_view data);

}  // namespace varnoke::platform
