// Unix stream sockets at paths in the user's private runtime folder, with
// the user of the process at the other end checked (SO_PEERCRED).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

#include "platform/unique_fd.h"

namespace varnoke::platform {

// A bound, listening, non-blocking, close-on-exec socket at path. A socket
// file left by a program that ended is replaced; one that a live program
// answers on is not (invalid, with why in problem).
TUniqueFd ListenAt(const std::string& path, int backlog, std::string& problem);

// How a connection attempt ended.
enum class TConnectResult {
  Connected,   // to a process of the calling user
  NotRunning,  // nothing listens at path
  OtherUser,   // a process of another user listens there; the socket is closed
  Failed,      // no answer by the deadline, or the path does not fit
};

// A connected, non-blocking, close-on-exec socket to path in socket, when
// the result is Connected; *peerUid (when given) gets the peer's user id.
TConnectResult ConnectTo(const std::string& path, std::chrono::steady_clock::time_point deadline,
                         TUniqueFd& socket, long* peerUid = nullptr);

// The user id of the process at the other end, or -1 when it cannot be
// told.
long PeerUid(int fd);

}  // namespace varnoke::platform
