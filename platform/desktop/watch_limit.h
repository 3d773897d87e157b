// The kernel's limit of inotify watches per user, and what to raise it to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace varnoke::platform {

// The setting that holds the limit, as sysctl names it.
inline constexpr const char* kWatchLimitSetting = "fs.inotify.max_user_watches";

// The limit now in force; nothing when it cannot be read.
std::optional<std::int64_t> ReadWatchLimit(
    const std::string& file = "/proc/sys/fs/inotify/max_user_watches");

// A limit that leaves room for the directories without a watch, and for as
// many again to come: the current limit plus twice their number, rounded
// up to a multiple of 65536.
std::int64_t SuggestedWatchLimit(std::int64_t current, std::int64_t unwatched);

}  // namespace varnoke::platform
