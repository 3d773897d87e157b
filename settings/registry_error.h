// ERegistry: a setting that cannot be read or written.
#pragma once

#include <stdexcept>
#include <string>

namespace varnoke::settings {

class ERegistry : public std::runtime_error {
 public:
  explicit ERegistry(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace varnoke::settings
