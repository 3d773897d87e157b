// The hook thread's side of the accessibility bus: a connection of its
// own, opened when first needed and again after the bus went away, the
// focus events read from it between presses, and the lookup at a press.
// Used by the hook's thread only.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>

#include "platform/a11y/bus_connection.h"
#include "platform/a11y/focus_events.h"
#include "platform/a11y/focus_lookup.h"

namespace varnoke::hook {

class TAccessibleFocus {
 public:
  // Connects to the accessibility bus unless connected; false when there
  // is none by deadline.
  bool Connect(platform::TDeadline deadline);
  // The connection's socket, to wait on between presses; -1 for none.
  int Fd() const;
  // Takes in the focus events that have arrived.
  void Dispatch();
  // Takes in the events that came before the hot key's press, and marks
  // the press: later ones are no move of the user's.
  void MarkPress();
  // The text field that process (the owner of the window the user works
  // in; without one, the application that was active at the press) has
  // focused, by deadline.
  platform::TFocusReport Find(std::optional<pid_t> process, platform::TDeadline deadline);

 private:
  std::unique_ptr<platform::TBusConnection> bus_;
  platform::TFocusEvents events_;
  platform::TFocusLookup lookup_;
};

}  // namespace varnoke::hook
