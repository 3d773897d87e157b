#include "live/local_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace varnoke::live {
namespace {

// The address of an abstract name: a leading NUL, then the name, not
// NUL-terminated. False when the name does not fit.
bool AbstractAddress(std::string_view name, sockaddr_un& address, socklen_t& length) {
  address = {};
  address.sun_family = AF_UNIX;
  if (name.empty() || name.size() + 1 > sizeof address.sun_path) return false;
  std::memcpy(address.sun_path + 1, name.data(), name.size());
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  return true;
}

// Milliseconds to wait in poll: the smaller of the stall and what is left
// to the deadline, never negative.
int WaitMs(TClock::time_point deadline, TClock::duration stall) {
  const auto left = std::min<TClock::duration>(deadline - TClock::now(), stall);
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::clamp<long long>(ms, 0, 60'000));
}

// Waits until fd is ready for events; TTransfer::Done when it is.
TTransfer WaitReady(int fd, short events, TClock::time_point deadline, TClock::duration stall,
                    int stopFd) {
  for (;;) {
    if (TClock::now() >= deadline) return TTransfer::TimedOut;
    pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    const int n = ::poll(fds, stopFd >= 0 ? 2 : 1, WaitMs(deadline, stall));
    if (n < 0) {
      if (errno == EINTR) continue;
      return TTransfer::Failed;
    }
    if (n == 0) return TTransfer::TimedOut;
    if (stopFd >= 0 && (fds[1].revents & POLLIN) != 0) return TTransfer::Stopped;
    if ((fds[0].revents & (events | POLLHUP | POLLERR)) != 0) return TTransfer::Done;
  }
}

}  // namespace

platform::TUniqueFd ListenAbstract(std::string_view name, std::string& problem) {
  sockaddr_un address;
  socklen_t length = 0;
  if (!AbstractAddress(name, address, length)) {
    problem = "the socket name is too long";
    return {};
  }
  platform::TUniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!socket.Valid() ||
      ::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
      ::listen(socket.Get(), 64) != 0) {
    problem = std::strerror(errno);
    return {};
  }
  return socket;
}

platform::TUniqueFd ConnectAbstract(std::string_view name, TClock::time_point deadline) {
  sockaddr_un address;
  socklen_t length = 0;
  if (!AbstractAddress(name, address, length)) return {};
  platform::TUniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!socket.Valid()) return {};
  if (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), length) == 0)
    return socket;
  // A full backlog makes a non-blocking connect wait for room.
  if (errno != EINPROGRESS && errno != EAGAIN) return {};
  if (WaitReady(socket.Get(), POLLOUT, deadline, deadline - TClock::now(), -1) != TTransfer::Done)
    return {};
  int error = 0;
  socklen_t size = sizeof error;
  if (::getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) return {};
  return socket;
}

long PeerUid(int fd) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return -1;
  return static_cast<long>(credentials.uid);
}

TTransfer SendAll(int fd, std::string_view data, TClock::time_point deadline,
                  TClock::duration stall, int stopFd) {
  while (!data.empty()) {
    const ssize_t sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      data.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
      return errno == EPIPE || errno == ECONNRESET ? TTransfer::Closed : TTransfer::Failed;
    const TTransfer ready = WaitReady(fd, POLLOUT, deadline, stall, stopFd);
    if (ready != TTransfer::Done) return ready;
  }
  return TTransfer::Done;
}

TTransfer ReceiveExactly(int fd, char* buffer, std::size_t size, TClock::time_point deadline,
                         TClock::duration stall, int stopFd) {
  while (size > 0) {
    const ssize_t got = ::recv(fd, buffer, size, MSG_DONTWAIT);
    if (got > 0) {
      buffer += got;
      size -= static_cast<std::size_t>(got);
      continue;
    }
    if (got == 0) return TTransfer::Closed;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK)
      return errno == ECONNRESET ? TTransfer::Closed : TTransfer::Failed;
    const TTransfer ready = WaitReady(fd, POLLIN, deadline, stall, stopFd);
    if (ready != TTransfer::Done) return ready;
  }
  return TTransfer::Done;
}

}  // namespace varnoke::live
