// The desktop's accessibility bus: a bus of its own beside the session bus,
// on which applications serve their accessible objects. The session bus
// says where it is, and holds the desktop's switch that tells applications
// starting from then on whether to serve them.
#pragma once

#include <memory>
#include <string>

#include "platform/a11y/bus_connection.h"

namespace varnoke::platform {

// A connection to the accessibility bus of the session bus at
// sessionAddress, opened before deadline; null when there is none (why in
// *error).
std::unique_ptr<TBusConnection> OpenAccessibilityBus(const std::string& sessionAddress,
                                                     TDeadline deadline,
                                                     std::string* error = nullptr);

enum class TAccessibilitySwitch {
  WasOn,        // the switch was on already
  TurnedOn,     // it was off; applications that start from now on serve their objects
  Unavailable,  // no session bus, or nobody on it keeps the switch
};

// Turns the desktop's accessibility switch (org.a11y.Status.IsEnabled) on
// when it is off, as a screen reader does, before deadline. Applications
// that already run keep the state they started with.
TAccessibilitySwitch SwitchAccessibilityOn(const std::string& sessionAddress, TDeadline deadline,
                                           std::string* error = nullptr);

}  // namespace varnoke::platform
