// The kind of desktop session the program runs in, from the variables the
// session sets: Wayland or X11, and on Wayland whose desktop, for the key
// source the hook library takes and for where the desktop's own shortcut
// settings are.
#pragma once

#include <string>

namespace varnoke::platform {

enum class TDesktopKind {
  X11,           // an X11 session: the hook grabs the key itself
  Gnome,         // GNOME on Wayland
  Kde,           // KDE Plasma on Wayland
  OtherWayland,  // sway, Hyprland and the rest
};

// True on a Wayland session (WAYLAND_DISPLAY or XDG_SESSION_TYPE=wayland),
// where no program may grab keys or learn where other windows are.
bool IsWaylandSession();

// The session's desktop; on Wayland, named by XDG_CURRENT_DESKTOP.
TDesktopKind CurrentDesktop();

// Where the desktop keeps its own setting of the hot key, as a sentence
// for the hot-key dialog; empty on X11, where the program's key is all
// there is.
std::string ShortcutSettingsHint(TDesktopKind desktop);

}  // namespace varnoke::platform
