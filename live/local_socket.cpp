#include "live/local_socket.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace varnoke::live {
namespace {

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
