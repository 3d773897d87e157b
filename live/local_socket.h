// Abstract Unix stream sockets with deadlines: the plumbing under the live
// search's server and client. Every wait is bounded, so neither side can be
// held by a peer that stops reading or writing.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace varnoke::live {

using TClock = std::chrono::steady_clock;

// A bound, listening, non-blocking, close-on-exec socket on the abstract
// name; invalid, with why in problem, when the name is taken or too long.
platform::TUniqueFd ListenAbstract(std::string_view name, std::string& problem);

// A connected, non-blocking socket to the abstract name, or invalid when
// nothing listens there or the connection is not made by the deadline.
platform::TUniqueFd ConnectAbstract(std::string_view name, TClock::time_point deadline);

// The user id of the process at the other end, or -1 when it cannot be
// told.
long PeerUid(int fd);

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
