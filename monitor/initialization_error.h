// EInitialization: the program cannot start or keep running for want of
// something it needs (a device, a library), with a message from the string
// table.
#pragma once

#include <stdexcept>
#include <string>

namespace varnoke {

class EInitialization : public std::runtime_error {
 public:
  explicit EInitialization(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace varnoke
