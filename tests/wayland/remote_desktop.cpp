#include "tests/wayland/remote_desktop.h"

#include <X11/Xlib.h>
#include <gio/gio.h>

#include <vector>

namespace varnoke::testing {
namespace {

constexpr char kService[] = "org.gnome.Mutter.RemoteDesktop";
constexpr char kSessionInterface[] = "org.gnome.Mutter.RemoteDesktop.Session";

// The code points of utf8; invalid bytes are left out.
std::vector<std::uint32_t> CodePoints(std::string_view utf8) {
  std::vector<std::uint32_t> points;
  const char* at = utf8.data();
  const char* end = at + utf8.size();
  while (at < end) {
    const gunichar c = g_utf8_get_char_validated(at, end - at);
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
      ++at;
      continue;
    }
    points.push_back(c);
    at = g_utf8_next_char(at);
  }
  return points;
}

std::uint32_t KeysymOfCodePoint(std::uint32_t c) {
  if (c == '\n') return 0xff0d;  // Return
  if (c == '\t') return 0xff09;  // Tab
  // Latin-1 keysyms are their code points; the rest are Unicode keysyms.
  if ((c >= 0x20 && c <= 0x7e) || (c >= 0xa0 && c <= 0xff)) return c;
  return 0x01000000 | c;
}

}  // namespace

std::uint32_t KeysymOfName(std::string_view name) {
  const std::string text(name);
  if (text == "ctrl") return 0xffe3;   // Control_L
  if (text == "alt") return 0xffe9;    // Alt_L
  if (text == "shift") return 0xffe1;  // Shift_L
  if (text == "super") return 0xffeb;  // Super_L
  return static_cast<std::uint32_t>(XStringToKeysym(text.c_str()));
}

std::unique_ptr<TRemoteDesktop> TRemoteDesktop::Open(std::string& problem) {
  GError* error = nullptr;
  GDBusConnection* connection = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (connection == nullptr) {
    problem = error->message;
    g_error_free(error);
    return nullptr;
  }
  // A private connection would be nicer, but the shared one is the test's
  // own process's: the session ends with the process at the latest.
  GVariant* reply = g_dbus_connection_call_sync(
      connection, kService, "/org/gnome/Mutter/RemoteDesktop", kService, "CreateSession", nullptr,
      G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
  if (reply == nullptr) {
    problem = error->message;
    g_error_free(error);
    g_object_unref(connection);
    return nullptr;
  }
  const gchar* path = nullptr;
  g_variant_get(reply, "(&o)", &path);
  auto desktop = std::make_unique<TRemoteDesktop>(connection, path);
  g_variant_unref(reply);
  if (!desktop->Call("Start", nullptr)) {
    problem = "the remote-desktop session did not start";
    return nullptr;
  }
  return desktop;
}

TRemoteDesktop::TRemoteDesktop(GDBusConnection* connection, std::string session)
    : connection_(connection), session_(std::move(session)) {}

TRemoteDesktop::~TRemoteDesktop() {
  Call("Stop", nullptr);
  g_object_unref(connection_);
}

bool TRemoteDesktop::Call(const char* method, GVariant* parameters) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(connection_, kService, session_.c_str(),
                                                kSessionInterface, method, parameters, nullptr,
                                                G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
  if (reply == nullptr) {
    g_error_free(error);
    return false;
  }
  g_variant_unref(reply);
  return true;
}

bool TRemoteDesktop::Key(std::uint32_t keysym, bool down) {
  return Call("NotifyKeyboardKeysym", g_variant_new("(ub)", keysym, down ? TRUE : FALSE));
}

bool TRemoteDesktop::Keys(std::string_view combination) {
  std::vector<std::uint32_t> keys;
  for (std::size_t at = 0; at <= combination.size();) {
    std::size_t end = combination.find('+', at);
    if (end == std::string_view::npos) end = combination.size();
    const std::uint32_t keysym = KeysymOfName(combination.substr(at, end - at));
    if (keysym == 0) return false;
    keys.push_back(keysym);
    at = end + 1;
  }
  bool ok = true;
  for (std::uint32_t keysym : keys)
    ok = Key(keysym, true) && ok;
  for (auto it = keys.rbegin(); it != keys.rend(); ++it)
    ok = Key(*it, false) && ok;
  return ok;
}

bool TRemoteDesktop::Type(std::string_view utf8) {
  bool ok = true;
  for (std::uint32_t c : CodePoints(utf8)) {
    const std::uint32_t keysym = KeysymOfCodePoint(c);
    ok = Key(keysym, true) && Key(keysym, false) && ok;
  }
  return ok;
}

}  // namespace varnoke::testing
