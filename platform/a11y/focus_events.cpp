#include "platform/a11y/focus_events.h"

#include <dbus/dbus.h>

#include <algorithm>
#include <cstring>

#include "platform/a11y/message_values.h"

namespace varnoke::platform {
namespace {

constexpr char kObjectEvents[] = "org.a11y.atspi.Event.Object";

}  // namespace

bool TFocusEvents::Subscribe(TBusConnection& bus) {
  TMessage match = MethodCall(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "AddMatch");
  TMessage listen = MethodCall("org.a11y.atspi.Registry", "/org/a11y/atspi/registry",
                               "org.a11y.atspi.Registry", "RegisterEvent");
  if (match == nullptr || listen == nullptr ||
      !AppendString(match.get(),
                    "type='signal',interface='org.a11y.atspi.Event.Object',"
                    "member='StateChanged',arg0='focused'") ||
      !AppendString(listen.get(), "object:state-changed:focused"))
    return false;
  // Neither answer is waited for: the bus carries them out in order, and
  // events start to come once they are.
  dbus_message_set_no_reply(match.get(), TRUE);
  dbus_message_set_no_reply(listen.get(), TRUE);
  return bus.Send(std::move(match)) && bus.Send(std::move(listen));
}

void TFocusEvents::Take(DBusMessage* message) {
  if (!dbus_message_is_signal(message, kObjectEvents, "StateChanged")) return;
  const char* sender = dbus_message_get_sender(message);
  const char* path = dbus_message_get_path(message);
  std::string kind;
  std::int32_t gained = 0;
  if (sender == nullptr || path == nullptr || !ReadStringAndInt32(message, kind, gained) ||
      kind != "focused")
    return;
  TFocus& focus = focus_[sender];
  focus.Heard = ++order_;
  if (gained != 0) {
    focus.Gained = path;
    focus.Order = order_;
  } else {
    focus.Lost = path;
  }
  if (focus_.size() > kMostApplications) {
    const auto oldest = std::min_element(
        focus_.begin(), focus_.end(),
        [](const auto& a, const auto& b) { return a.second.Heard < b.second.Heard; });
    focus_.erase(oldest);
  }
}

TAccessibleRef TFocusEvents::FocusIn(const std::string& application) const {
  const auto found = focus_.find(application);
  if (found == focus_.end()) return {};
  const TFocus& focus = found->second;
  return {application, focus.Gained.empty() ? focus.Lost : focus.Gained};
}

TAccessibleRef TFocusEvents::LatestFocus(const std::vector<TAccessibleRef>& among) const {
  TAccessibleRef latest;
  std::uint64_t order = 0;
  for (const TAccessibleRef& application : among) {
    const auto found = focus_.find(application.Bus);
    if (found == focus_.end() || found->second.Gained.empty() || found->second.Order < order)
      continue;
    order = found->second.Order;
    latest = {application.Bus, found->second.Gained};
  }
  return latest;
}

}  // namespace varnoke::platform
