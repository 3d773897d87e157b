// The program's side of the accessibility bus: the desktop's accessibility
// switch at start-up, and filling the text field the hook library found.
// A connection of its own, opened when first needed and again after the
// bus went away. For one thread; every call is bounded, so that a hung
// application never hangs the program.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/a11y/accessibility_bus.h"
#include "platform/a11y/accessible.h"
#include "platform/a11y/bus_connection.h"

namespace varnoke::platform {

class TTextFieldClient {
 public:
  // sessionAddress: the session bus's (SessionBusAddress()).
  explicit TTextFieldClient(std::string sessionAddress)
      : sessionAddress_(std::move(sessionAddress)) {}

  // See SwitchAccessibilityOn. The bus's launcher may have to be started
  // for it, which takes longer than a call.
  TAccessibilitySwitch SwitchAccessibilityOn(std::string* error = nullptr);
  // See ReplaceText and SelectAllText.
  bool ReplaceText(const TAccessibleRef& field, std::string_view text);
  bool SelectAllText(const TAccessibleRef& field);

  // How long a delivery's calls may take, the connection included.
  static constexpr int kCallMilliseconds = 500;
  static constexpr int kSwitchMilliseconds = 2000;

 private:
  // The connection, opened when there is none; null when the bus is not
  // there by deadline.
  TBusConnection* Bus(TDeadline deadline);

  std::string sessionAddress_;
  std::unique_ptr<TBusConnection> bus_;
};

}  // namespace varnoke::platform
