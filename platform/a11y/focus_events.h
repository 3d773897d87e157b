// Where the keyboard focus is in each application on the accessibility bus,
// as its focus events tell. The object that last gained the focus in an
// application is its focus for as long as nothing else gains it there: the
// losses that follow a hot key are no move of the user's. The key's own
// grab takes the focus from some toolkits' windows at the press (they
// report the loss then and take it back at the release), and our pop-up
// takes it right after; a field's focused state is gone by the time it is
// looked at, but what its events said still names it. An application whose
// gain went unheard (it focused its field as it started, before it knew
// that anyone listens) names the field when it loses it.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

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

  // The object that the events of the application at bus name say has
  // the focus there; empty when none came.
  TAccessibleRef FocusIn(const std::string& application) const;
  // Of the applications among, the object that gained the focus last;
  // empty when none did.
  TAccessibleRef LatestFocus(const std::vector<TAccessibleRef>& among) const;

  // At most this many applications are remembered; the one heard from
  // least recently goes first.
  static constexpr std::size_t kMostApplications = 128;

 private:
  struct TFocus {
    std::string Gained;       // the object that gained it last; empty for none
    std::string Lost;         // the object that lost it last
    std::uint64_t Order = 0;  // when Gained gained it, in events taken
    std::uint64_t Heard = 0;  // when the last event came
  };
  std::unordered_map<std::string, TFocus> focus_;  // by application bus name
  std::uint64_t order_ = 0;
};

}  // namespace varnoke::platform
