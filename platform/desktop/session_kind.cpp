#include "platform/desktop/session_kind.h"

#include <cstdlib>
#include <string_view>

namespace varnoke::platform {
namespace {

std::string_view Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// XDG_CURRENT_DESKTOP is a colon-separated list ("ubuntu:GNOME").
bool DesktopListHas(std::string_view list, std::string_view name) {
  while (!list.empty()) {
    const std::size_t end = list.find(':');
    if (list.substr(0, end) == name) return true;
    if (end == std::string_view::npos) break;
    list.remove_prefix(end + 1);
  }
  return false;
}

}  // namespace

bool IsWaylandSession() {
  return !Env("WAYLAND_DISPLAY").empty() || Env("XDG_SESSION_TYPE") == "wayland";
}

TDesktopKind CurrentDesktop() {
  if (!IsWaylandSession()) return TDesktopKind::X11;
  const std::string_view desktops = Env("XDG_CURRENT_DESKTOP");
  if (DesktopListHas(desktops, "GNOME")) return TDesktopKind::Gnome;
  if (DesktopListHas(desktops, "KDE")) return TDesktopKind::Kde;
  return TDesktopKind::OtherWayland;
}

std::string ShortcutSettingsHint(TDesktopKind desktop) {
  switch (desktop) {
    case TDesktopKind::X11:
      return {};
    case TDesktopKind::Gnome:
      return "On GNOME the hot key is also the custom shortcut \"Varnoke\" in Settings, "
             "Keyboard, Keyboard Shortcuts; a key changed there counts until you assign one "
             "here.";
    case TDesktopKind::Kde:
      return "On KDE Plasma the hot key is listed under System Settings, Shortcuts, "
             "Varnoke, where it can be changed too.";
    case TDesktopKind::OtherWayland:
      break;
  }
  return "On this desktop, bind a key to the command \"varnoke --popup\" in its own "
         "settings (sway: bindsym, Hyprland: bind) if this one does not call Varnoke up.";
}

}  // namespace varnoke::platform
