// ETerminate: a scan that the user abandoned.
#pragma once

#include <stdexcept>

namespace varnoke {

class ETerminate : public std::runtime_error {
 public:
  ETerminate() : std::runtime_error("User Terminate") {}
};

}  // namespace varnoke
