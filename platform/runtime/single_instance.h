// The program's single instance: a lock file and a Unix socket, both named
// after the instance name, in the user's private runtime folder
// (runtime_folder.h). The lock says who runs; the socket takes requests
// from later starts of the same user (`varnoke --popup`). The kernel
// releases both when the process ends, however it ends.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace varnoke::platform {

class TSingleInstance {
 public:
  // Takes the name for this user. Null when it cannot: with problem empty
  // when another process of the same user holds it (the program runs
  // already), else with why (the name is held by another user's process,
  // the runtime folder is not private, ...).
  static std::unique_ptr<TSingleInstance> Acquire(std::string_view name,
                                                  std::string* problem = nullptr);

  TSingleInstance(TUniqueFd lock, TUniqueFd socket)
      : lock_(std::move(lock)), socket_(std::move(socket)) {}

  // The bound, listening, non-blocking socket (close-on-exec, so started
  // programs never hold the name). Each client is of the same user
  // (checked when it connected); it sends one request line.
  int Fd() const noexcept { return socket_.Get(); }

 private:
  TUniqueFd lock_;  // holds the lock for as long as the instance lives
  TUniqueFd socket_;
};

// How asking the running instance went.
enum class TAskResult {
  Answered,    // it took the request; answer holds its reply line
  NotRunning,  // no instance of this user runs
  OtherUser,   // a process of another user holds the name
  Failed,      // the folder failed its checks, or no reply came in time
};

// Sends request (one line, without its newline) to the instance of name
// and waits up to timeout for its reply line. problem says why when the
// result is not Answered.
TAskResult AskInstance(std::string_view name, std::string_view request, std::string& answer,
                       std::string& problem,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5));

// The requests a later start sends, and the instance's reply.
inline constexpr std::string_view kPopupRequest = "popup";
inline constexpr std::string_view kRequestTaken = "ok";
inline constexpr std::size_t kMaxRequestLine = 4096;

// "popup", followed by a blank and the activation token when there is one.
std::string PopupRequest(std::string_view activationToken);
// The activation token of a popup request line (empty for none); nothing
// when the line is not a popup request.
std::optional<std::string> ParsePopupRequest(std::string_view line);

}  // namespace varnoke::platform
