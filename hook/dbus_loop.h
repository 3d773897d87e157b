// A private connection to the session bus with a thread of its own that
// runs its signals: the plumbing of the key sources that ask the desktop
// for the key over D-Bus. GDBus calls may be made from any thread; signal
// handlers run on the loop's thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;
typedef struct _GVariant GVariant;

namespace varnoke::hook {

class TDBusLoop {
 public:
  // Connects to the session bus and starts the thread; null, with why in
  // problem, when there is no bus.
  static std::unique_ptr<TDBusLoop> Start(std::string& problem);

  // Unsubscribes every signal, ends the thread, closes the connection.
  ~TDBusLoop();
  TDBusLoop(const TDBusLoop&) = delete;
  TDBusLoop& operator=(const TDBusLoop&) = delete;

  GDBusConnection* Connection() const { return connection_; }
  // This connection's unique name on the bus, without its leading ':'
  // and with '.' as '_', as the portal puts it into request paths.
  std::string SenderToken() const;

  // A method call with the reply's body (to be unreffed), or null with
  // why in problem. Blocks the calling thread up to timeout.
  GVariant* Call(const char* service, const char* path, const char* interface, const char* method,
                 GVariant* parameters, std::string& problem,
                 std::chrono::milliseconds timeout = std::chrono::seconds(3));

  // True when name has an owner on the bus now.
  bool HasOwner(const char* name);
  // True when the bus could start a program that owns name.
  bool IsActivatable(const char* name);

  // Calls handler, on the loop's thread, with the parameters of each
  // signal that matches (null arguments match anything), until the loop
  // ends or Unsubscribe. Returns the subscription's id.
  using THandler = std::function<void(GVariant* parameters)>;
  unsigned Subscribe(const char* sender, const char* interface, const char* member,
                     const char* path, THandler handler);
  void Unsubscribe(unsigned id);

  TDBusLoop(GDBusConnection* connection, GMainContext* context, GMainLoop* loop);

 private:
  // Runs fn on the loop's thread and waits until it has run.
  void RunOnLoop(const std::function<void()>& fn);

  GDBusConnection* connection_;  // owned
  GMainContext* context_;        // owned
  GMainLoop* loop_;              // owned
  std::thread thread_;
};

}  // namespace varnoke::hook
