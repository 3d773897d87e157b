// The windows the hot key reports, found on the hook's own connection.
#pragma once

#include <cstdint>
#include <string_view>

struct xcb_connection_t;

namespace varnoke::hook {

// The root window of screen; 0 when the display has no such screen.
std::uint32_t RootOf(xcb_connection_t* connection, int screen);

// The atom of name on connection; 0 when the server refuses it.
std::uint32_t InternAtom(xcb_connection_t* connection, std::string_view name);

// The window that has the input focus; 0 when the focus is nowhere or
// follows the pointer.
std::uint32_t FocusWindow(xcb_connection_t* connection);

// The window manager's active window; else the top-level of focus.
std::uint32_t ActiveWindow(xcb_connection_t* connection, std::uint32_t root, std::uint32_t focus);

// The window carrying WM_STATE that is window or contains it; else the
// root's child that holds it. 0 for the root or a window that is gone.
std::uint32_t TopLevelOf(xcb_connection_t* connection, std::uint32_t root, std::uint32_t window);

// The process that owns window, as its _NET_WM_PID says; 0 when it does
// not say.
std::uint32_t WindowProcess(xcb_connection_t* connection, std::uint32_t window);

// Posts a ClientMessage of type message (wParam, lParam in its first two
// data words) to the client that created window.
void PostMessage(xcb_connection_t* connection, std::uint32_t window, std::uint32_t message,
                 std::uint32_t wParam, std::uint32_t lParam);

}  // namespace varnoke::hook
