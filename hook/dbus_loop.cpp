#include "hook/dbus_loop.h"

#include <gio/gio.h>

#include <algorithm>

namespace varnoke::hook {
namespace {

struct TSubscription {
  TDBusLoop::THandler handler;
};

void OnSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
              GVariant* parameters, gpointer data) {
  static_cast<TSubscription*>(data)->handler(parameters);
}

void FreeSubscription(gpointer data) {
  delete static_cast<TSubscription*>(data);
}

// One function call queued to the loop's thread, and its end.
struct TInvocation {
  const std::function<void()>* fn = nullptr;
  std::mutex lock;
  std::condition_variable done;
  bool finished = false;  // Guarded by lock.
};

gboolean RunInvocation(gpointer data) {
  auto* invocation = static_cast<TInvocation*>(data);
  (*invocation->fn)();
  std::lock_guard<std::mutex> guard(invocation->lock);
  invocation->finished = true;
  invocation->done.notify_all();
  return G_SOURCE_REMOVE;
}

}  // namespace

std::unique_ptr<TDBusLoop> TDBusLoop::Start(std::string& problem) {
  GError* error = nullptr;
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (address == nullptr) {
    problem = error->message;
    g_error_free(error);
    return nullptr;
  }
  // A connection of the library's own: the program's toolkit may have one
  // to the same bus, and neither sees the other's signals or main loop.
  GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
      address,
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  g_free(address);
  if (connection == nullptr) {
    problem = error->message;
    g_error_free(error);
    return nullptr;
  }
  g_dbus_connection_set_exit_on_close(connection, FALSE);
  GMainContext* context = g_main_context_new();
  return std::make_unique<TDBusLoop>(connection, context, g_main_loop_new(context, FALSE));
}

TDBusLoop::TDBusLoop(GDBusConnection* connection, GMainContext* context, GMainLoop* loop)
    : connection_(connection), context_(context), loop_(loop) {
  thread_ = std::thread([this] {
    g_main_context_push_thread_default(context_);
    g_main_loop_run(loop_);
    g_main_context_pop_thread_default(context_);
  });
}

TDBusLoop::~TDBusLoop() {
  g_dbus_connection_close_sync(connection_, nullptr, nullptr);
  g_main_loop_quit(loop_);
  g_main_context_wakeup(context_);
  thread_.join();
  // Subscriptions made on the loop's context are freed when it is next
  // run; what is left goes with the connection.
  while (g_main_context_iteration(context_, FALSE)) {
  }
  g_object_unref(connection_);
  g_main_loop_unref(loop_);
  g_main_context_unref(context_);
}

std::string TDBusLoop::SenderToken() const {
  std::string name = g_dbus_connection_get_unique_name(connection_);
  if (!name.empty() && name.front() == ':') name.erase(0, 1);
  std::replace(name.begin(), name.end(), '.', '_');
  return name;
}

GVariant* TDBusLoop::Call(const char* service, const char* path, const char* interface,
                          const char* method, GVariant* parameters, std::string& problem,
                          std::chrono::milliseconds timeout) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(connection_, service, path, interface, method,
                                                parameters, nullptr, G_DBUS_CALL_FLAGS_NONE,
                                                static_cast<int>(timeout.count()), nullptr, &error);
  if (reply == nullptr) {
    problem = error->message;
    g_error_free(error);
  }
  return reply;
}

bool TDBusLoop::HasOwner(const char* name) {
  std::string problem;
  GVariant* reply = Call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                         "NameHasOwner", g_variant_new("(s)", name), problem);
  if (reply == nullptr) return false;
  gboolean owned = FALSE;
  g_variant_get(reply, "(b)", &owned);
  g_variant_unref(reply);
  return owned != FALSE;
}

bool TDBusLoop::IsActivatable(const char* name) {
  std::string problem;
  GVariant* reply = Call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                         "ListActivatableNames", nullptr, problem);
  if (reply == nullptr) return false;
  GVariantIter* names = nullptr;
  g_variant_get(reply, "(as)", &names);
  bool found = false;
  const gchar* each = nullptr;
  while (!found && g_variant_iter_next(names, "&s", &each))
    found = g_strcmp0(each, name) == 0;
  g_variant_iter_free(names);
  g_variant_unref(reply);
  return found;
}

void TDBusLoop::RunOnLoop(const std::function<void()>& fn) {
  if (g_main_context_is_owner(context_)) {
    fn();
    return;
  }
  TInvocation invocation;
  invocation.fn = &fn;
  g_main_context_invoke(context_, RunInvocation, &invocation);
  std::unique_lock<std::mutex> guard(invocation.lock);
  invocation.done.wait(guard, [&] { return invocation.finished; });
}

unsigned TDBusLoop::Subscribe(const char* sender, const char* interface, const char* member,
                              const char* path, THandler handler) {
  unsigned id = 0;
  // Signals go to the main context that is the thread's default when the
  // subscription is made: the loop's, on its own thread.
  RunOnLoop([&] {
    id = g_dbus_connection_signal_subscribe(
        connection_, sender, interface, member, path, nullptr, G_DBUS_SIGNAL_FLAGS_NONE, OnSignal,
        new TSubscription{std::move(handler)}, FreeSubscription);
  });
  return id;
}

void TDBusLoop::Unsubscribe(unsigned id) {
  RunOnLoop([&] { g_dbus_connection_signal_unsubscribe(connection_, id); });
}

}  // namespace varnoke::hook
