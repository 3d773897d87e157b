#include "hook/accessible_focus.h"

#include <unistd.h>

#include "platform/a11y/accessibility_bus.h"

namespace varnoke::hook {

bool TAccessibleFocus::Connect(platform::TDeadline deadline) {
  if (bus_ != nullptr && bus_->Connected()) return true;
  bus_ = platform::OpenAccessibilityBus(platform::SessionBusAddress(), deadline);
  if (bus_ == nullptr) return false;
  // The events of a bus we left are no longer true.
  events_ = {};
  if (!platform::TFocusEvents::Subscribe(*bus_)) bus_.reset();
  return bus_ != nullptr;
}

int TAccessibleFocus::Fd() const {
  return bus_ != nullptr ? bus_->Fd() : -1;
}

void TAccessibleFocus::Dispatch() {
  if (bus_ == nullptr) return;
  bus_->Dispatch([this](DBusMessage* message) { events_.Take(message); });
  // A bus that went away is opened again at the next press.
  if (!bus_->Connected()) bus_.reset();
}

void TAccessibleFocus::MarkPress() {
  Dispatch();
  events_.MarkPress();
}

platform::TFocusReport TAccessibleFocus::Find(std::optional<pid_t> process,
                                              platform::TDeadline deadline) {
  if (!Connect(deadline)) return {};
  return lookup_.Find(*bus_, events_, process, ::getpid(), deadline);
}

}  // namespace varnoke::hook
