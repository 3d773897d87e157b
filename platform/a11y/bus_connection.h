// A private connection to a D-Bus bus (the session bus, the accessibility
// bus) whose every wait ends at a deadline: a hung peer can make a call
// fail, never hang its caller. Not shared with anyone else in the process,
// so the thread that owns it is the only one that reads from it.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct DBusConnection;
struct DBusMessage;

namespace varnoke::platform {

using TDeadline = std::chrono::steady_clock::time_point;

// The deadline that lies milliseconds from now.
TDeadline DeadlineIn(int milliseconds);

// An owned DBusMessage.
struct TMessageUnref {
  void operator()(DBusMessage* message) const;
};
using TMessage = std::unique_ptr<DBusMessage, TMessageUnref>;

// A method call to destination's object path; null when out of memory.
TMessage MethodCall(const std::string& destination, const std::string& path, const char* interface,
                    const char* method);

// The session bus's address: $DBUS_SESSION_BUS_ADDRESS, else the user's
// bus in $XDG_RUNTIME_DIR; empty when neither is known.
std::string SessionBusAddress();

class TBusConnection {
 public:
  // Connects to the bus at address and registers with it, all before
  // deadline. Null when that fails; *error (when given) says why.
  static std::unique_ptr<TBusConnection> Open(const std::string& address, TDeadline deadline,
                                              std::string* error = nullptr);

  explicit TBusConnection(DBusConnection* connection) : connection_(connection) {}
  ~TBusConnection();  // closes the connection
  TBusConnection(const TBusConnection&) = delete;
  TBusConnection& operator=(const TBusConnection&) = delete;

  // False once the bus has gone away.
  bool Connected() const;
  // The socket, for waiting on incoming messages; -1 when there is none.
  int Fd() const;

  // Sends call and waits for its reply until deadline. Null when the call
  // failed, the peer answered with an error or the deadline passed; *error
  // (when given) then says which.
  TMessage Call(TMessage call, TDeadline deadline, std::string* error = nullptr);
  // Sends every call at once, then waits for their replies, all until
  // deadline: a peer handles them one after the other without waiting for
  // us in between. replies[i] answers calls[i]; null where that call failed
  // (and (*errors)[i], when asked for, says why).
  std::vector<TMessage> CallAll(std::vector<TMessage> calls, TDeadline deadline,
                                std::vector<std::string>* errors = nullptr);
  // Sends message without waiting for anything; false when it could not
  // be queued.
  bool Send(TMessage message);

  // Reads whatever has arrived, without waiting, and hands each message
  // that is not a reply to a call of ours to handler. Messages that come
  // while a call waits for its reply are kept for this.
  void Dispatch(const std::function<void(DBusMessage*)>& handler);

 private:
  DBusConnection* connection_;  // owned, private
};

}  // namespace varnoke::platform
