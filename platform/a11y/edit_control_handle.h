// The edit-control handle that the hook library posts for a text field on
// the accessibility bus. X11 resource ids leave their top three bits clear,
// so a handle with bit 31 set is never an X window; the program turns it
// back into the object through the library.
#pragma once

#include <cstdint>

namespace varnoke::platform {

inline constexpr std::uint64_t kAccessibleHandleBit = 0x80000000u;

inline bool IsAccessibleHandle(std::uint64_t handle) {
  return handle <= 0xffffffffu && (handle & kAccessibleHandleBit) != 0;
}

}  // namespace varnoke::platform
