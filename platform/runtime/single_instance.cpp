#include "platform/runtime/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/runtime/runtime_folder.h"
#include "platform/runtime/user_socket.h"

namespace varnoke::platform {
namespace {

using TClock = std::chrono::steady_clock;

// How long a holder may take between taking the lock and listening.
constexpr auto kListenWait = std::chrono::seconds(2);

std::string HeldByOtherUser(const std::string& path, long uid) {
  return path + " is held by a process of another user" +
         (uid >= 0 ? " (uid " + std::to_string(uid) + ")" : std::string());
}

int WaitMs(TClock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, 60'000));
}

}  // namespace

std::unique_ptr<TSingleInstance> TSingleInstance::Acquire(std::string_view name,
                                                          std::string* problem) {
  std::string why;
  auto fail = [&](std::string text) {
    if (problem != nullptr) *problem = std::move(text);
    return nullptr;
  };
  const std::optional<std::string> folder = PrivateRuntimeFolder(why);
  if (!folder) return fail(why);
  const std::string socketPath = *folder + "/" + std::string(name);
  const std::string lockPath = socketPath + ".lock";

  TUniqueFd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  struct stat st {};
  if (!lock.Valid()) {
    if (errno == EACCES && ::lstat(lockPath.c_str(), &st) == 0)
      return fail(HeldByOtherUser(lockPath, static_cast<long>(st.st_uid)));
    return fail("cannot open " + lockPath + ": " + std::strerror(errno));
  }
  if (::fstat(lock.Get(), &st) != 0 || st.st_uid != ::geteuid())
    return fail(HeldByOtherUser(lockPath, static_cast<long>(st.st_uid)));

  // An open-file-description lock: it conflicts within one process too,
  // and no other open and close of the file by this process drops it.
  flock whole{};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  if (::fcntl(lock.Get(), F_OFD_SETLK, &whole) != 0) {
    if (errno != EACCES && errno != EAGAIN)
      return fail("cannot lock " + lockPath + ": " + std::strerror(errno));
    // Whose program holds it shows at its socket.
    TUniqueFd probe;
    long uid = -1;
    const auto deadline = TClock::now() + kListenWait;
    TConnectResult held = ConnectTo(socketPath, deadline, probe, &uid);
    while (held == TConnectResult::NotRunning && TClock::now() < deadline) {
      ::poll(nullptr, 0, 20);
      held = ConnectTo(socketPath, deadline, probe, &uid);
    }
    if (held == TConnectResult::OtherUser) return fail(HeldByOtherUser(socketPath, uid));
    return fail("");  // the program runs already
  }
  // The lock is ours: a socket file there was left by a program that ended.
  TUniqueFd socket = ListenAt(socketPath, 16, why);
  if (!socket.Valid()) return fail(why);
  return std::make_unique<TSingleInstance>(std::move(lock), std::move(socket));
}

TAskResult AskInstance(std::string_view name, std::string_view request, std::string& answer,
                       std::string& problem, std::chrono::milliseconds timeout) {
  const std::optional<std::string> folder = PrivateRuntimeFolder(problem);
  if (!folder) return TAskResult::Failed;
  const std::string path = *folder + "/" + std::string(name);
  const auto deadline = TClock::now() + timeout;
  TUniqueFd socket;
  long uid = -1;
  TConnectResult connected = ConnectTo(path, deadline, socket, &uid);
  // A program that has just taken the lock may not listen yet.
  const auto listenDeadline = std::min(deadline, TClock::now() + kListenWait);
  while (connected == TConnectResult::NotRunning && TClock::now() < listenDeadline) {
    TUniqueFd lock(::open((path + ".lock").c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    flock probe{};
    probe.l_type = F_RDLCK;
    probe.l_whence = SEEK_SET;
    if (!lock.Valid() || ::fcntl(lock.Get(), F_OFD_GETLK, &probe) != 0 || probe.l_type == F_UNLCK)
      break;  // nobody holds the lock: nobody runs
    ::poll(nullptr, 0, 20);
    connected = ConnectTo(path, deadline, socket, &uid);
  }
  switch (connected) {
    case TConnectResult::Connected:
      break;
    case TConnectResult::NotRunning:
      problem = "Varnoke is not running";
      return TAskResult::NotRunning;
    case TConnectResult::OtherUser:
      problem = HeldByOtherUser(path, uid);
      return TAskResult::OtherUser;
    case TConnectResult::Failed:
      problem = "Varnoke did not answer at " + path;
      return TAskResult::Failed;
  }
  std::string line(request);
  line.push_back('\n');
  std::string_view rest = line;
  while (!rest.empty()) {
    const ssize_t sent = ::send(socket.Get(), rest.data(), rest.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      rest.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    pollfd ready = {socket.Get(), POLLOUT, 0};
    if ((sent < 0 && errno != EAGAIN) || ::poll(&ready, 1, WaitMs(deadline)) <= 0) {
      problem = "Varnoke took no request";
      return TAskResult::Failed;
    }
  }
  answer.clear();
  for (;;) {
    char buffer[256];
    const ssize_t got = ::recv(socket.Get(), buffer, sizeof buffer, 0);
    if (got > 0) {
      answer.append(buffer, static_cast<std::size_t>(got));
      const std::size_t end = answer.find('\n');
      if (end != std::string::npos) {
        answer.resize(end);
        return TAskResult::Answered;
      }
      if (answer.size() > kMaxRequestLine) break;
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    pollfd ready = {socket.Get(), POLLIN, 0};
    if (got == 0 || (got < 0 && errno != EAGAIN) || ::poll(&ready, 1, WaitMs(deadline)) <= 0) break;
  }
  problem = "Varnoke did not answer";
  return TAskResult::Failed;
}

std::string PopupRequest(std::string_view activationToken) {
  std::string line(kPopupRequest);
  // A token is printable ASCII by the protocols that make one; anything
  // else would break the line and is left out.
  const bool printable = std::all_of(activationToken.begin(), activationToken.end(),
                                     [](char c) { return c > ' ' && c < 0x7f; });
  if (!activationToken.empty() && printable && activationToken.size() < kMaxRequestLine / 2) {
    line.push_back(' ');
    line.append(activationToken);
  }
  return line;
}

std::optional<std::string> ParsePopupRequest(std::string_view line) {
  if (line == kPopupRequest) return std::string();
  if (line.size() > kPopupRequest.size() + 1 &&
      line.substr(0, kPopupRequest.size()) == kPopupRequest && line[kPopupRequest.size()] == ' ')
    return std::string(line.substr(kPopupRequest.size() + 1));
  return std::nullopt;
}

}  // namespace varnoke::platform
