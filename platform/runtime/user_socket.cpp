#include "platform/runtime/user_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace varnoke::platform {
namespace {

bool PathAddress(const std::string& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() + 1 > sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.data(), path.size());
  return true;
}

TUniqueFd NewSocket() {
  return TUniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
}

}  // namespace

long PeerUid(int fd) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return -1;
  return static_cast<long>(credentials.uid);
}

TConnectResult ConnectTo(const std::string& path, std::chrono::steady_clock::time_point deadline,
                         TUniqueFd& socket, long* peerUid) {
  sockaddr_un address;
  if (!PathAddress(path, address)) return TConnectResult::Failed;
  socket = NewSocket();
  if (!socket.Valid()) return TConnectResult::Failed;
  if (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (errno == ENOENT || errno == ECONNREFUSED) {
      socket.Reset();
      return TConnectResult::NotRunning;
    }
    // A socket file the user may not open is another user's.
    struct stat st {};
    if (errno == EACCES && ::lstat(path.c_str(), &st) == 0 && st.st_uid != ::geteuid()) {
      socket.Reset();
      if (peerUid != nullptr) *peerUid = static_cast<long>(st.st_uid);
      return TConnectResult::OtherUser;
    }
    // A full backlog makes a non-blocking connect wait for room.
    if (errno != EINPROGRESS && errno != EAGAIN) {
      socket.Reset();
      return TConnectResult::Failed;
    }
    for (;;) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd ready = {socket.Get(), POLLOUT, 0};
      const int n =
          ::poll(&ready, 1, static_cast<int>(std::clamp<long long>(left.count(), 0, 60'000)));
      if (n < 0 && errno == EINTR) continue;
      int error = 0;
      socklen_t size = sizeof error;
      if (n <= 0 || ::getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0 ||
          error != 0) {
        socket.Reset();
        return TConnectResult::Failed;
      }
      break;
    }
  }
  const long uid = PeerUid(socket.Get());
  if (peerUid != nullptr) *peerUid = uid;
  if (uid != static_cast<long>(::geteuid())) {
    socket.Reset();
    return TConnectResult::OtherUser;
  }
  return TConnectResult::Connected;
}

TUniqueFd ListenAt(const std::string& path, int backlog, std::string& problem) {
  sockaddr_un address;
  if (!PathAddress(path, address)) {
    problem = "the socket path is too long: " + path;
    return {};
  }
  TUniqueFd socket = NewSocket();
  if (!socket.Valid()) {
    problem = std::strerror(errno);
    return {};
  }
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      if (::listen(socket.Get(), backlog) != 0) {
        problem = std::strerror(errno);
        return {};
      }
      return socket;
    }
    if (errno != EADDRINUSE || attempt > 0) break;
    // Taken: by a program that answers, or by a socket file left behind.
    TUniqueFd probe;
    const TConnectResult held =
        ConnectTo(path, std::chrono::steady_clock::now() + std::chrono::milliseconds(500), probe);
    if (held == TConnectResult::Connected || held == TConnectResult::Failed) {
      problem = "another program listens at " + path;
      return {};
    }
    if (held == TConnectResult::OtherUser) {
      problem = "a process of another user listens at " + path;
      return {};
    }
    ::unlink(path.c_str());
  }
  problem = "cannot listen at " + path + ": " + std::strerror(errno);
  return {};
}

}  // namespace varnoke::platform
