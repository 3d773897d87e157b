// Asking the running program for a search's rows.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "live/live_protocol.h"

namespace varnoke::live {

struct TLiveAnswer {
  std::uint64_t Rows = 0;  // the number of rows
  std::string Paths;       // each row's full path, NUL-ended; empty when only counted
  std::string Twins;       // with WithTwins: each row's twin text, NUL-ended
  // With TellMissingFolder: the pattern's folder is not in the tree (and
  // there are no rows).
  bool FolderMissing = false;
};

// Sends the request to the program listening on socketName and reads its
// whole answer. Nothing, with why in problem, when no program of this user
// listens, it refuses, goes quiet for timeout, or its answer is not whole
// and well-formed: the caller then has nothing half-done to undo.
std::optional<TLiveAnswer> AskRunningProgram(
    const std::string& socketName, const TLiveRequest& request, std::string& problem,
    std::chrono::steady_clock::duration timeout = std::chrono::seconds(1));

}  // namespace varnoke::live
