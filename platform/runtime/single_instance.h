// The program's single instance: an abstract Unix socket named after the
// instance name and the user id, bound for as long as the instance runs.
// The kernel releases the name when the process ends, however it ends.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace varnoke::platform {

class TSingleInstance {
 public:
  // Takes the name for this user: null when another process holds it (or
  // the socket cannot be made at all; why, in problem).
  static std::unique_ptr<TSingleInstance> Acquire(std::string_view name,
                                                  std::string* problem = nullptr);

  // The abstract socket name for name and the calling user.
  static std::string SocketName(std::string_view name);

  explicit TSingleInstance(TUniqueFd socket) : socket_(std::move(socket)) {}

  // The bound, listening socket (close-on-exec, so started programs never
  // hold the name).
  int Fd() const noexcept { return socket_.Get(); }

 private:
  TUniqueFd socket_;
};

}  // namespace varnoke::platform
