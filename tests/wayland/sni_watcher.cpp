// sni-watcher: a tray for the tests, as the panels of Wayland desktops
// keep one: it owns org.kde.StatusNotifierWatcher on the session bus,
// says a host is there, and prints "item SERVICE PATH" when a program
// registers its icon (StatusNotifierItem). Each line "activate" on its
// standard input clicks the last icon (the item's Activate method) and
// answers "ok" or "failed". Ends at the end of its input.
#include <gio/gio.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

namespace {

constexpr char kIntrospection[] = R"xml(<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierHostRegistered"/>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
  </interface>
</node>)xml";

std::string itemService;  // only touched on the main loop's thread
std::string itemPath;

void OnCall(GDBusConnection* connection, const gchar* sender, const gchar*, const gchar*,
            const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation,
            gpointer) {
  if (g_strcmp0(method, "RegisterStatusNotifierItem") == 0) {
    const gchar* item = nullptr;
    g_variant_get(parameters, "(&s)", &item);
    // An item names its object path, or its service (then the path is the
    // protocol's default).
    itemService = item[0] == '/' ? sender : item;
    itemPath = item[0] == '/' ? item : "/StatusNotifierItem";
    std::printf("item %s %s\n", itemService.c_str(), itemPath.c_str());
    std::fflush(stdout);
    g_dbus_connection_emit_signal(connection, nullptr, "/StatusNotifierWatcher",
                                  "org.kde.StatusNotifierWatcher", "StatusNotifierItemRegistered",
                                  g_variant_new("(s)", (itemService + itemPath).c_str()), nullptr);
  }
  g_dbus_method_invocation_return_value(invocation, nullptr);
}

GVariant* OnGet(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* property,
                GError**, gpointer) {
  if (g_strcmp0(property, "IsStatusNotifierHostRegistered") == 0)
    return g_variant_new_boolean(TRUE);
  if (g_strcmp0(property, "ProtocolVersion") == 0) return g_variant_new_int32(0);
  const gchar* none[] = {nullptr};
  const std::string registered = itemService + itemPath;
  const gchar* one[] = {registered.c_str(), nullptr};
  return g_variant_new_strv(itemService.empty() ? none : one, -1);
}

struct TClick {
  GDBusConnection* connection;
};

gboolean Click(gpointer data) {
  auto* click = static_cast<TClick*>(data);
  GError* error = nullptr;
  GVariant* reply = nullptr;
  if (!itemService.empty()) {
    reply = g_dbus_connection_call_sync(click->connection, itemService.c_str(), itemPath.c_str(),
                                        "org.kde.StatusNotifierItem", "Activate",
                                        g_variant_new("(ii)", 0, 0), nullptr,
                                        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
  }
  std::printf("%s\n", reply != nullptr ? "ok" : "failed");
  std::fflush(stdout);
  if (reply != nullptr) g_variant_unref(reply);
  if (error != nullptr) g_error_free(error);
  delete click;
  return G_SOURCE_REMOVE;
}

}  // namespace

int main() {
  GError* error = nullptr;
  GDBusConnection* connection = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (connection == nullptr) {
    std::fprintf(stderr, "sni-watcher: %s\n", error->message);
    return 1;
  }
  GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
  const GDBusInterfaceVTable vtable = {OnCall, OnGet, nullptr, {}};
  g_dbus_connection_register_object(connection, "/StatusNotifierWatcher", node->interfaces[0],
                                    &vtable, nullptr, nullptr, nullptr);
  GVariant* owned = g_dbus_connection_call_sync(
      connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
      "RequestName", g_variant_new("(su)", "org.kde.StatusNotifierWatcher", 4u), nullptr,
      G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
  if (owned == nullptr) {
    std::fprintf(stderr, "sni-watcher: %s\n", error->message);
    return 1;
  }
  g_variant_unref(owned);
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  std::thread input([&] {
    std::string line;
    while (std::getline(std::cin, line)) {
      if (line == "activate") g_idle_add(Click, new TClick{connection});
    }
    g_main_loop_quit(loop);
  });
  std::printf("ready\n");
  std::fflush(stdout);
  g_main_loop_run(loop);
  input.join();
  return 0;
}
