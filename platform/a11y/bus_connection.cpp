#include "platform/a11y/bus_connection.h"

#include <dbus/dbus.h>
#include <dlfcn.h>

#include <cstdlib>
#include <mutex>

namespace varnoke::platform {
namespace {

// dbus's own error record, freed however the scope ends.
class TError {
 public:
  TError() { dbus_error_init(&error_); }
  ~TError() { dbus_error_free(&error_); }
  TError(const TError&) = delete;
  TError& operator=(const TError&) = delete;
  DBusError* Get() { return &error_; }
  bool Set() const { return dbus_error_is_set(&error_); }
  std::string Text() const {
    return std::string(error_.name != nullptr ? error_.name : "") + ": " +
           (error_.message != nullptr ? error_.message : "");
  }

 private:
  DBusError error_;
};

// What is left of the time until deadline, in the whole milliseconds dbus
// takes; 0 once it has passed.
int TimeoutMs(TDeadline deadline) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// A reply, or null for an error reply (its name then in *error).
TMessage Answer(DBusMessage* reply, std::string* error) {
  TMessage owned(reply);
  if (owned == nullptr) {
    if (error != nullptr) *error = "no reply";
    return nullptr;
  }
  if (dbus_message_get_type(owned.get()) == DBUS_MESSAGE_TYPE_ERROR) {
    if (error != nullptr) {
      const char* name = dbus_message_get_error_name(owned.get());
      *error = name != nullptr ? name : "error";
    }
    return nullptr;
  }
  return owned;
}

// libdbus keeps process-wide state (its caches, its thread locks) that
// must outlive every connection. Loaded with a plugin (the hook library),
// it would be unloaded with it and take that state along; marked never to
// be unloaded, it stays as long as the process.
void KeepBusLibraryLoaded() {
  static std::once_flag once;
  std::call_once(once, [] {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&dbus_connection_open_private), &info) == 0 ||
        info.dli_fname == nullptr)
      return;
    // RTLD_NOLOAD: only the copy already loaded; the handle may be closed,
    // the library stays.
    if (void* library = ::dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE))
      ::dlclose(library);
  });
}

}  // namespace

TDeadline DeadlineIn(int milliseconds) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

void TMessageUnref::operator()(DBusMessage* message) const {
  dbus_message_unref(message);
}

TMessage MethodCall(const std::string& destination, const std::string& path, const char* interface,
                    const char* method) {
  // dbus refuses (with a warning) what is not a valid name or path.
  if (!dbus_validate_bus_name(destination.c_str(), nullptr) ||
      !dbus_validate_path(path.c_str(), nullptr))
    return nullptr;
  return TMessage(
      dbus_message_new_method_call(destination.c_str(), path.c_str(), interface, method));
}

std::string SessionBusAddress() {
  if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
    return address;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
    return std::string("unix:path=") + runtime + "/bus";
  return {};
}

std::unique_ptr<TBusConnection> TBusConnection::Open(const std::string& address, TDeadline deadline,
                                                     std::string* error) {
  auto fail = [error](std::string why) {
    if (error != nullptr) *error = std::move(why);
    return nullptr;
  };
  if (address.empty()) return fail("no bus address");
  if (TimeoutMs(deadline) == 0) return fail("out of time");
  KeepBusLibraryLoaded();
  TError problem;
  DBusConnection* raw = dbus_connection_open_private(address.c_str(), problem.Get());
  if (raw == nullptr) return fail(problem.Text());
  dbus_connection_set_exit_on_disconnect(raw, FALSE);
  auto connection = std::make_unique<TBusConnection>(raw);
  // dbus_bus_register would wait its own 25 seconds for the answer; Hello
  // by hand waits only until the deadline.
  std::string why;
  TMessage reply = connection->Call(
      MethodCall(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "Hello"), deadline, &why);
  const char* name = nullptr;
  if (reply == nullptr ||
      !dbus_message_get_args(reply.get(), nullptr, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID) ||
      !dbus_bus_set_unique_name(raw, name))
    return fail("Hello: " + why);
  return connection;
}

TBusConnection::~TBusConnection() {
  dbus_connection_close(connection_);
  dbus_connection_unref(connection_);
}

bool TBusConnection::Connected() const {
  return dbus_connection_get_is_connected(connection_);
}

int TBusConnection::Fd() const {
  int fd = -1;
  return dbus_connection_get_unix_fd(connection_, &fd) ? fd : -1;
}

TMessage TBusConnection::Call(TMessage call, TDeadline deadline, std::string* error) {
  std::vector<TMessage> calls;
  calls.push_back(std::move(call));
  std::vector<std::string> errors;
  std::vector<TMessage> replies = CallAll(std::move(calls), deadline, &errors);
  if (error != nullptr) *error = errors[0];
  return std::move(replies[0]);
}

std::vector<TMessage> TBusConnection::CallAll(std::vector<TMessage> calls, TDeadline deadline,
                                              std::vector<std::string>* errors) {
  std::vector<TMessage> replies(calls.size());
  std::vector<std::string> why(calls.size(), "not sent");
  std::vector<DBusPendingCall*> pending(calls.size(), nullptr);
  const int timeout = TimeoutMs(deadline);
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i] == nullptr || timeout == 0) continue;
    if (!dbus_connection_send_with_reply(connection_, calls[i].get(), &pending[i], timeout))
      pending[i] = nullptr;
  }
  // Each waits at most until the deadline: its own timeout started with
  // the send.
  for (std::size_t i = 0; i < pending.size(); ++i) {
    if (pending[i] == nullptr) continue;
    dbus_pending_call_block(pending[i]);
    why[i].clear();
    replies[i] = Answer(dbus_pending_call_steal_reply(pending[i]), &why[i]);
    dbus_pending_call_unref(pending[i]);
  }
  if (errors != nullptr) *errors = std::move(why);
  return replies;
}

bool TBusConnection::Send(TMessage message) {
  if (message == nullptr || !dbus_connection_send(connection_, message.get(), nullptr))
    return false;
  dbus_connection_flush(connection_);
  return true;
}

void TBusConnection::Dispatch(const std::function<void(DBusMessage*)>& handler) {
  // A zero timeout reads and writes what the socket has ready, and waits
  // for nothing.
  dbus_connection_read_write(connection_, 0);
  while (DBusMessage* raw = dbus_connection_pop_message(connection_)) {
    TMessage message(raw);
    if (dbus_message_get_type(raw) == DBUS_MESSAGE_TYPE_SIGNAL ||
        dbus_message_get_type(raw) == DBUS_MESSAGE_TYPE_METHOD_CALL)
      handler(raw);
  }
}

}  // namespace varnoke::platform
