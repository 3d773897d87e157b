#include "platform/a11y/focus_events.h"

#include <dbus/dbus.h>

#include <algorithm>
#include <cstring>

#include "platform/a11y/message_values.h"

namespace varnoke::platform {
namespace {

constexpr char kObjectEvents[] = "org.a11y.atspi.Event.Object";
constexpr char kWindowEvents[] = "org.a11y.atspi.Event.Window";
constexpr char kFocused[] = "focused";
constexpr char kActive[] = "active";

}  // namespace

bool TFocusEvents::Subscribe(TBusConnection& bus) {
  // The bus's match rule and the registry's name of each kind of event.
  static constexpr const char* kEvents[][2] = {
      {"type='signal',interface='org.a11y.atspi.Event.Object',member='StateChanged',"
       "arg0='focused'",
       "object:state-changed:focused"},
      {"type='signal',interface='org.a11y.atspi.Event.Window',member='Activate'",
       "window:activate"},
      {"type='signal',interface='org.a11y.atspi.Event.Window',member='Deactivate'",
       "window:deactivate"},
  };
  for (const auto& [rule, name] : kEvents) {
    TMessage match = MethodCall(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "AddMatch");
    TMessage listen = MethodCall("org.a11y.atspi.Registry", "/org/a11y/atspi/registry",
                                 "org.a11y.atspi.Registry", "RegisterEvent");
    if (match == nullptr || listen == nullptr || !AppendString(match.get(), rule) ||
        !AppendString(listen.get(), name))
      return false;
    // No answer is waited for: the bus carries them out in order, and
    // events start to come once they are.
    dbus_message_set_no_reply(match.get(), TRUE);
    dbus_message_set_no_reply(listen.get(), TRUE);
    if (!bus.Send(std::move(match)) || !bus.Send(std::move(listen))) return false;
  }
  return true;
}

void TFocusEvents::Take(DBusMessage* message) {
  const char* sender = dbus_message_get_sender(message);
  const char* path = dbus_message_get_path(message);
  if (sender == nullptr || path == nullptr) return;
  if (dbus_message_is_signal(message, kWindowEvents, "Activate")) {
    Change(sender, path, kActive, true);
    return;
  }
  if (dbus_message_is_signal(message, kWindowEvents, "Deactivate")) {
    Change(sender, path, kActive, false);
    return;
  }
  if (!dbus_message_is_signal(message, kObjectEvents, "StateChanged")) return;
  std::string kind;
  std::int32_t gained = 0;
  if (!ReadStringAndInt32(message, kind, gained) || kind != kFocused) return;
  Change(sender, path, kind, gained != 0);
}

void TFocusEvents::Change(const char* application, const char* path, const std::string& kind,
                          bool gained) {
  TFocus& focus = focus_[application];
  focus.Heard = ++order_;
  if (kind == kFocused && gained) {
    focus.Gained = path;
    focus.Order = order_;
    focus.LostAt = 0;
  } else if (kind == kFocused) {
    focus.Lost = path;
    if (focus.Gained == path && focus.LostAt == 0) focus.LostAt = order_;
  } else if (gained) {
    focus.Frame = path;
    focus.Activated = order_;
    focus.Deactivated = 0;
  } else if (focus.Frame == path && focus.Deactivated == 0) {
    focus.Deactivated = order_;
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

TAccessibleRef TFocusEvents::ActiveAtPress(const std::vector<TAccessibleRef>& among) const {
  TAccessibleRef active;
  std::uint64_t order = 0;
  for (const TAccessibleRef& application : among) {
    const auto found = focus_.find(application.Bus);
    if (found == focus_.end()) continue;
    const TFocus& focus = found->second;
    // Deactivated after the press: by our pop-up, so it was active then.
    if (!BeforePress(focus.Activated) || BeforePress(focus.Deactivated) || focus.Activated < order)
      continue;
    order = focus.Activated;
    active = {application.Bus, focus.Frame};
  }
  return active;
}

bool TFocusEvents::AwayAtPress(const std::string& application) const {
  const auto found = focus_.find(application);
  if (found == focus_.end()) return false;
  const TFocus& focus = found->second;
  return BeforePress(focus.Deactivated) || BeforePress(focus.LostAt);
}

}  // namespace varnoke::platform
