// The edit-control handles that the hook library posts and that are no X
// window. X11 resource ids leave their top three bits clear, so a handle
// with bit 31 set is never an X window: the hook posts such a handle for a
// text field on the accessibility bus, which the program turns back into
// the object through the library; and one of them, kUnseenEditControl, for
// a focus in a window the display does not show (a native Wayland window)
// where no text field could be found.
#pragma once

#include <cstdint>

namespace varnoke::platform {

inline constexpr std::uint64_t kAccessibleHandleBit = 0x80000000u;

// No window of the display carries it and it names no text field: a path
// for it goes to the clipboard.
inline constexpr std::uint64_t kUnseenEditControl = 0xFFFFFFFFu;

inline bool IsAccessibleHandle(std::uint64_t handle) {
  return handle <= 0xffffffffu && (handle & kAccessibleHandleBit) != 0 &&
         handle != kUnseenEditControl;
}

}  // namespace varnoke::platform
