// Keys pressed on a headless mutter session as a user would press them:
// through the compositor's own remote-desktop interface
// (org.gnome.Mutter.RemoteDesktop on the session bus), so that they reach
// native Wayland windows and XWayland windows alike.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GVariant GVariant;

namespace varnoke::testing {

class TRemoteDesktop {
 public:
  // Opens a session and starts it; null, with why in problem, when the
  // compositor does not offer one. The session lives as long as this
  // object (mutter ends it when its caller's connection closes).
  static std::unique_ptr<TRemoteDesktop> Open(std::string& problem);

  ~TRemoteDesktop();
  TRemoteDesktop(const TRemoteDesktop&) = delete;
  TRemoteDesktop& operator=(const TRemoteDesktop&) = delete;

  // One keysym down or up.
  bool Key(std::uint32_t keysym, bool down);
  // A combination as xdotool writes it ("ctrl+alt+f", "Return"): the
  // modifiers down in order, the key pressed and released, the modifiers up.
  bool Keys(std::string_view combination);
  // Each character of utf8 pressed and released (the compositor adds the
  // level's modifiers and finds a key for characters its map lacks).
  bool Type(std::string_view utf8);

  TRemoteDesktop(GDBusConnection* connection, std::string session);

 private:
  bool Call(const char* method, GVariant* parameters);

  GDBusConnection* connection_;  // owned
  std::string session_;
};

// The keysym of a name ("ctrl" and "alt" stand for the left keys), 0 for
// an unknown name.
std::uint32_t KeysymOfName(std::string_view name);

}  // namespace varnoke::testing
