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
  if (gained != 0) {
    focus.Path = path;
    focus.Held = true;
  } else if (focus.Path == path) {
    // A loss of another object than the one last focused is old news.
    focus.Held = false;
  }
  focus.Order = ++order_;
  if (focus_.size() > kMostApplications) {
    const auto oldest = std::min_element(
        focus_.begin(), focus_.end(),
        [](const auto& a, const auto& b) { return a.second.Order < b.second.Order; });
    focus_.erase(oldest);
  }
}

TAccessibleRef TFocusEvents::FocusIn(const std::string& application) const {
  const auto found = focus_.find(application);
  if (found == focus_.end() || !found->second.Held) return {};
  return {found->first, found->second.Path};
}

TAccessibleRef TFocusEvents::LatestFocus() const {
  const TFocus* latest = nullptr;
  const std::string* application = nullptr;
  for (const auto& [name, focus] : focus_) {
    if (!focus.Held || (latest != nullptr && latest->Order > focus.Order)) continue;
    latest = &focus;
    application = &name;
  }
  if (latest == nullptr) return {};
  return {*application, latest->Path};
}

}  // namespace varnoke::platform
