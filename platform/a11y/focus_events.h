// Where the keyboard focus is in each application on the accessibility bus,
// as its focus events tell. An application's focused field loses its
// focused state the moment another window (our own pop-up) takes the
// focus; what the events said up to the hot key still names it.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "platform/a11y/accessible.h"
#include "platform/a11y/bus_connection.h"

namespace varnoke::platform {

class TFocusEvents {
 public:
  // Asks the bus to route focus events to this connection, and the
  // registry to have applications send them (they send only events that
  // someone listens for). False when that could not be sent.
  static bool Subscribe(TBusConnection& bus);

  // Takes in one message from the bus; anything but a focus event is
  // left alone.
  void Take(DBusMessage* message);

  // The object that has the focus in the application at bus name, as far
  // as its events tell; empty when its last event said the focus left, or
  // none came.
  TAccessibleRef FocusIn(const std::string& application) const;
  // Of all applications, the object that gained the focus last and has not
  // lost it since; empty when there is none.
  TAccessibleRef LatestFocus() const;

  // At most this many applications are remembered; the one heard from
  // least recently goes first.
  static constexpr std::size_t kMostApplications = 128;

 private:
  struct TFocus {
    std::string Path;
    bool Held = false;
    std::uint64_t Order = 0;  // when the event came, in events taken
  };
  std::unordered_map<std::string, TFocus> focus_;  // by application bus name
  std::uint64_t order_ = 0;
};

}  // namespace varnoke::platform
