// A window handle: an X window id, 0 for none.
#pragma once

#include <cstdint>

namespace varnoke::platform {

using TWindowHandle = std::uint64_t;

}  // namespace varnoke::platform
