// varnoke-find: the database from the command line.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>

#include "tools/varnoke-find/find_options.h"

namespace varnoke::find {

// Exit statuses.
inline constexpr int kRowsPrinted = 0;
inline constexpr int kNoRows = 1;
inline constexpr int kFailed = 2;

// Runs what options ask for, printing rows to out and messages to err.
// cancel may be set from a signal handler to abandon a scan. A search asks
// the program listening on socketName first, unless options say --file.
int RunFind(const TFindOptions& options, std::FILE* out, std::FILE* err,
            const std::atomic<bool>& cancel, const std::string& socketName);

}  // namespace varnoke::find
