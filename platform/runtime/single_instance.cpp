#include "platform/runtime/single_instance.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace varnoke::platform {

std::string TSingleInstance::SocketName(std::string_view name) {
  return std::string(name) + "-" + std::to_string(::getuid());
}

std::unique_ptr<TSingleInstance> TSingleInstance::Acquire(std::string_view name,
                                                          std::string* problem) {
  const std::string socketName = SocketName(name);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  // An abstract name: a leading NUL, then the name, not NUL-terminated.
  if (socketName.size() + 1 > sizeof address.sun_path) {
    if (problem != nullptr) *problem = "the instance name is too long";
    return nullptr;
  }
  std::memcpy(address.sun_path + 1, socketName.data(), socketName.size());
  const auto length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + socketName.size());

  TUniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!socket.Valid()) {
    if (problem != nullptr) *problem = std::strerror(errno);
    return nullptr;
  }
  if (::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
      ::listen(socket.Get(), 16) != 0) {
    if (problem != nullptr) *problem = errno == EADDRINUSE ? "" : std::strerror(errno);
    return nullptr;
  }
  return std::make_unique<TSingleInstance>(std::move(socket));
}

}  // namespace varnoke::platform
