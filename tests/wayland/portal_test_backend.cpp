// portal-test-backend [--refuse]: the desktop's side of the portal's
// global shortcuts, for tests with the real xdg-desktop-portal front end.
// It owns org.freedesktop.impl.portal.desktop.varnoketest (the test's
// .portal file names it) and implements
// org.freedesktop.impl.portal.GlobalShortcuts: every session and binding
// is printed ("session PATH", "bound ID TRIGGER", "closed PATH") and
// accepted with the preferred trigger as its description, or with
// --refuse left without a trigger, as a desktop that refuses the key. Each line
// "activate" on its standard input presses the bound shortcut: the
// Activated signal for it, which the front end hands to the session's
// owner. Ends at the end of its input.
#include <gio/gio.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

namespace {

constexpr char kName[] = "org.freedesktop.impl.portal.desktop.varnoketest";
constexpr char kPath[] = "/org/freedesktop/portal/desktop";
constexpr char kInterface[] = "org.freedesktop.impl.portal.GlobalShortcuts";

constexpr char kIntrospection[] = R"xml(<node>
  <interface name="org.freedesktop.impl.portal.GlobalShortcuts">
    <method name="CreateSession">
      <arg type="o" direction="in"/><arg type="o" direction="in"/>
      <arg type="s" direction="in"/><arg type="a{sv}" direction="in"/>
      <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/>
    </method>
    <method name="BindShortcuts">
      <arg type="o" direction="in"/><arg type="o" direction="in"/>
      <arg type="a(sa{sv})" direction="in"/><arg type="s" direction="in"/>
      <arg type="a{sv}" direction="in"/>
      <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/>
    </method>
    <method name="ListShortcuts">
      <arg type="o" direction="in"/><arg type="o" direction="in"/>
      <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/>
    </method>
    <signal name="Activated">
      <arg type="o"/><arg type="s"/><arg type="t"/><arg type="a{sv}"/>
    </signal>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="org.freedesktop.impl.portal.Session">
    <method name="Close"/>
    <signal name="Closed"/>
    <property name="version" type="u" access="read"/>
  </interface>
</node>)xml";

bool refuse = false;
GDBusNodeInfo* node = nullptr;
std::string session;   // only touched on the main loop's thread
std::string shortcut;  // the bound shortcut's id

void Print(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

GVariant* EmptyResults(guint32 code) {
  GVariantBuilder results;
  g_variant_builder_init(&results, G_VARIANT_TYPE_VARDICT);
  return g_variant_new("(ua{sv})", code, &results);
}

void OnSessionCall(GDBusConnection*, const gchar*, const gchar* path, const gchar*, const gchar*,
                   GVariant*, GDBusMethodInvocation* invocation, gpointer) {
  Print(std::string("closed ") + path);
  if (session == path) session.clear();
  g_dbus_method_invocation_return_value(invocation, nullptr);
}

GVariant* OnGet(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GError**,
                gpointer) {
  return g_variant_new_uint32(1);
}

void OnCall(GDBusConnection* connection, const gchar*, const gchar*, const gchar*,
            const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation,
            gpointer) {
  if (g_strcmp0(method, "CreateSession") == 0) {
    const gchar* sessionPath = nullptr;
    const gchar* appId = nullptr;
    g_variant_get(parameters, "(&o&o&s@a{sv})", nullptr, &sessionPath, &appId, nullptr);
    const GDBusInterfaceVTable vtable = {OnSessionCall, OnGet, nullptr, {}};
    g_dbus_connection_register_object(connection, sessionPath, node->interfaces[1], &vtable,
                                      nullptr, nullptr, nullptr);
    session = sessionPath;
    Print("session " + session + " app '" + appId + "'");
    g_dbus_method_invocation_return_value(invocation, EmptyResults(0));
    return;
  }
  if (g_strcmp0(method, "BindShortcuts") == 0) {
    GVariantIter* shortcuts = nullptr;
    g_variant_get(parameters, "(&o&oa(sa{sv})&s@a{sv})", nullptr, nullptr, &shortcuts, nullptr,
                  nullptr);
    GVariantBuilder bound;
    g_variant_builder_init(&bound, G_VARIANT_TYPE("a(sa{sv})"));
    const gchar* id = nullptr;
    GVariant* values = nullptr;
    while (g_variant_iter_next(shortcuts, "(&s@a{sv})", &id, &values)) {
      const gchar* trigger = "";
      g_variant_lookup(values, "preferred_trigger", "&s", &trigger);
      Print(std::string("bound ") + id + " " + trigger);
      shortcut = id;
      // Refused, the shortcut comes back without a trigger.
      GVariantBuilder properties;
      g_variant_builder_init(&properties, G_VARIANT_TYPE_VARDICT);
      if (!refuse) {
        g_variant_builder_add(&properties, "{sv}", "trigger_description",
                              g_variant_new_string(trigger));
      }
      g_variant_builder_add(&bound, "(sa{sv})", id, &properties);
      g_variant_unref(values);
    }
    g_variant_iter_free(shortcuts);
    GVariantBuilder results;
    g_variant_builder_init(&results, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&results, "{sv}", "shortcuts", g_variant_builder_end(&bound));
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(ua{sv})", 0u, &results));
    return;
  }
  g_dbus_method_invocation_return_value(invocation, EmptyResults(0));
}

gboolean Activate(gpointer data) {
  auto* connection = static_cast<GDBusConnection*>(data);
  if (session.empty()) {
    Print("failed");
    return G_SOURCE_REMOVE;
  }
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  g_dbus_connection_emit_signal(
      connection, nullptr, kPath, kInterface, "Activated",
      g_variant_new("(ost@a{sv})", session.c_str(), shortcut.c_str(),
                    static_cast<guint64>(now.count()), g_variant_builder_end(&options)),
      nullptr);
  g_dbus_connection_flush_sync(connection, nullptr, nullptr);
  Print("ok");
  return G_SOURCE_REMOVE;
}

}  // namespace

int main(int argc, char** argv) {
  refuse = argc > 1 && g_strcmp0(argv[1], "--refuse") == 0;
  GError* error = nullptr;
  GDBusConnection* connection = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (connection == nullptr) {
    std::fprintf(stderr, "portal-test-backend: %s\n", error->message);
    return 1;
  }
  node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
  const GDBusInterfaceVTable vtable = {OnCall, OnGet, nullptr, {}};
  g_dbus_connection_register_object(connection, kPath, node->interfaces[0], &vtable, nullptr,
                                    nullptr, nullptr);
  GVariant* owned = g_dbus_connection_call_sync(
      connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
      "RequestName", g_variant_new("(su)", kName, 4u), nullptr, G_DBUS_CALL_FLAGS_NONE, 5000,
      nullptr, &error);
  if (owned == nullptr) {
    std::fprintf(stderr, "portal-test-backend: %s\n", error->message);
    return 1;
  }
  g_variant_unref(owned);
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  std::thread input([&] {
    std::string line;
    while (std::getline(std::cin, line)) {
      if (line == "activate") g_idle_add(Activate, connection);
    }
    g_main_loop_quit(loop);
  });
  Print("ready");
  g_main_loop_run(loop);
  input.join();
  return 0;
}
