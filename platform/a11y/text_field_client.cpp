#include "platform/a11y/text_field_client.h"

#include "platform/a11y/editable_text.h"

namespace varnoke::platform {

TAccessibilitySwitch TTextFieldClient::SwitchAccessibilityOn(std::string* error) {
  return platform::SwitchAccessibilityOn(sessionAddress_, DeadlineIn(kSwitchMilliseconds), error);
}

bool TTextFieldClient::ReplaceText(const TAccessibleRef& field, std::string_view text) {
  const TDeadline deadline = DeadlineIn(kCallMilliseconds);
  TBusConnection* bus = Bus(deadline);
  return bus != nullptr && platform::ReplaceText(*bus, field, text, deadline);
}

bool TTextFieldClient::SelectAllText(const TAccessibleRef& field) {
  const TDeadline deadline = DeadlineIn(kCallMilliseconds);
  TBusConnection* bus = Bus(deadline);
  return bus != nullptr && platform::SelectAllText(*bus, field, deadline);
}

TBusConnection* TTextFieldClient::Bus(TDeadline deadline) {
  if (bus_ != nullptr && !bus_->Connected()) bus_.reset();
  if (bus_ == nullptr) bus_ = OpenAccessibilityBus(sessionAddress_, deadline);
  return bus_.get();
}

}  // namespace varnoke::platform
