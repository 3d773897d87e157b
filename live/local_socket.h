// Bounded transfers on Unix stream sockets: the plumbing under the live
// search's server and client (whose sockets are made by
// platform/runtime/user_socket.h). Every wait is bounded, so neither side
// can be held by a peer that stops reading or writing.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace varnoke::live {

using TClock = std::chrono::steady_clock;

// How a bounded transfer ended.
enum class TTransfer { Done, Closed, TimedOut, Stopped, Failed };

// Sends all of data. Gives up when the peer takes nothing for stall, at the
// deadline, or when stopFd (if not -1) becomes readable. Never raises
// SIGPIPE.
TTransfer SendAll(int fd, std::string_view data, TClock::time_point deadline,
                  TClock::duration stall, int stopFd = -1);

// Receives exactly size bytes into buffer, with the same limits as SendAll.
TTransfer ReceiveExactly(int fd, char* buffer, std::size_t size, TClock::time_point deadline,
                         TClock::duration stall, int stopFd = -1);

}  // namespace varnoke::live
