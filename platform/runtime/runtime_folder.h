// The user's private folder for the program's sockets: $XDG_RUNTIME_DIR/
// varnoke, or /tmp/varnoke-<uid> where XDG_RUNTIME_DIR is unset. A name in
// it can be taken only by the user (and the superuser), unlike an abstract
// socket name, which any local user may bind first.
#pragma once

#include <optional>
#include <string>

namespace varnoke::platform {

// Makes the folder where it is missing and checks it, and the runtime
// folder it lies in: each must be a real folder (no symbolic link), owned
// by the calling user and closed to everybody else (mode 0700 or
// narrower). Its path, or nothing, with why in problem, when a check fails
// (as when another user made /tmp/varnoke-<uid> first).
std::optional<std::string> PrivateRuntimeFolder(std::string& problem);

// The check alone, for a folder that exists.
bool IsPrivateFolder(const std::string& path, std::string& problem);

}  // namespace varnoke::platform
