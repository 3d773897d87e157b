#include "platform/a11y/focus_lookup.h"

#include <dbus/dbus.h>
#include <poll.h>

#include <algorithm>
#include <unordered_set>

#include "platform/a11y/accessible_calls.h"
#include "platform/a11y/message_values.h"

namespace varnoke::platform {
namespace {

bool Has(const std::vector<std::string>& names, const char* name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// The children of every object, asked for at once, one object's after the
// other's; an object that does not answer adds none.
std::vector<TAccessibleRef> ChildrenOf(TBusConnection& bus,
                                       const std::vector<TAccessibleRef>& objects,
                                       TDeadline deadline) {
  std::vector<TMessage> calls;
  for (const TAccessibleRef& object : objects)
    calls.push_back(ChildrenCall(object));
  std::vector<TAccessibleRef> all;
  for (TMessage& reply : bus.CallAll(std::move(calls), deadline)) {
    std::vector<TAccessibleRef> children;
    if (reply != nullptr && ReadObjectRefs(reply.get(), children))
      all.insert(all.end(), children.begin(), children.end());
  }
  return all;
}

// The states of every object, asked for at once; empty where one did not
// answer.
std::vector<std::optional<TStateSet>> StatesOf(TBusConnection& bus,
                                               const std::vector<TAccessibleRef>& objects,
                                               TDeadline deadline) {
  std::vector<TMessage> calls;
  for (const TAccessibleRef& object : objects)
    calls.push_back(StateCall(object));
  std::vector<std::optional<TStateSet>> states;
  for (TMessage& reply : bus.CallAll(std::move(calls), deadline)) {
    TStateSet set;
    states.push_back(reply != nullptr && ReadStateSet(reply.get(), set)
                         ? std::optional<TStateSet>(set)
                         : std::nullopt);
  }
  return states;
}

}  // namespace

TFocusReport TFocusLookup::Find(TBusConnection& bus, TFocusEvents& events,
                                std::optional<pid_t> process, pid_t ownProcess,
                                TDeadline deadline) {
  if (process.has_value() && (*process <= 0 || *process == ownProcess)) return {};
  // Everything said so far counts, also since the press: nothing the
  // application says after it is a move of the user's.
  TakeEvents(bus, events);
  const TAccessibleRef application = FindApplication(bus, events, process, ownProcess, deadline);
  if (application.Empty()) return {};
  const TAccessibleRef told = events.FocusIn(application.Bus);
  if (!told.Empty()) {
    TFocusReport report = Classify(bus, told, deadline);
    if (report.Kind != TFocusKind::OffTheBus) return report;
  }
  TFocusReport walked = Walk(bus, ActiveFrames(bus, {application}, deadline), deadline);
  if (walked.Kind != TFocusKind::OffTheBus) return walked;
  // A window whose frame is no longer active lost the focus to the key's
  // grab or our pop-up, and says so in a moment, naming its field.
  const TAccessibleRef heard = AwaitFocusEvent(bus, events, application.Bus, deadline);
  if (heard.Empty()) return {};
  return Classify(bus, heard, deadline);
}

void TFocusLookup::TakeEvents(TBusConnection& bus, TFocusEvents& events) {
  bus.Dispatch([&events](DBusMessage* message) { events.Take(message); });
}

TAccessibleRef TFocusLookup::AwaitFocusEvent(TBusConnection& bus, TFocusEvents& events,
                                             const std::string& application, TDeadline deadline) {
  for (;;) {
    TakeEvents(bus, events);
    const TAccessibleRef heard = events.FocusIn(application);
    if (!heard.Empty()) return heard;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !bus.Connected()) return {};
    pollfd ready{bus.Fd(), POLLIN, 0};
    ::poll(&ready, 1, static_cast<int>(left.count()));
  }
}

TAccessibleRef TFocusLookup::FindApplication(TBusConnection& bus, const TFocusEvents& events,
                                             std::optional<pid_t> process, pid_t ownProcess,
                                             TDeadline deadline) {
  std::vector<TAccessibleRef> applications;
  if (!ListApplications(bus, deadline, applications)) return {};
  // Forget the names that left; ask for the processes of those that came.
  std::unordered_set<std::string> present;
  for (const TAccessibleRef& application : applications)
    present.insert(application.Bus);
  std::erase_if(processes_, [&](const auto& entry) { return !present.contains(entry.first); });
  std::vector<TMessage> calls;
  std::vector<std::string> asked;
  for (const std::string& name : present) {
    if (processes_.contains(name)) continue;
    TMessage call = MethodCall(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS,
                               "GetConnectionUnixProcessID");
    if (call == nullptr || !AppendString(call.get(), name)) continue;
    calls.push_back(std::move(call));
    asked.push_back(name);
  }
  std::vector<TMessage> replies = bus.CallAll(std::move(calls), deadline);
  for (std::size_t i = 0; i < replies.size(); ++i) {
    std::uint32_t pid = 0;
    if (replies[i] != nullptr && ReadUint32(replies[i].get(), pid))
      processes_[asked[i]] = static_cast<pid_t>(pid);
  }

  std::erase_if(applications, [&](const TAccessibleRef& application) {
    const auto found = processes_.find(application.Bus);
    return found == processes_.end() || found->second == ownProcess;
  });
  if (process.has_value()) {
    for (const TAccessibleRef& application : applications) {
      if (processes_[application.Bus] == *process) return application;
    }
    return {};
  }
  // No window names it: what the applications said before the press
  // does, else what can still be seen of their windows.
  const TAccessibleRef active = events.ActiveAtPress(applications);
  for (const TAccessibleRef& application : applications) {
    if (application.Bus == active.Bus) return application;
  }
  // A window the user left for another (one off the bus, perhaps) is no
  // longer where the path is to go.
  std::erase_if(applications, [&events](const TAccessibleRef& application) {
    return events.AwayAtPress(application.Bus);
  });
  const TAccessibleRef latest = events.LatestFocus(applications);
  for (const TAccessibleRef& application : applications) {
    if (application.Bus == latest.Bus) return application;
  }
  const std::vector<TAccessibleRef> frames = ActiveFrames(bus, applications, deadline);
  if (frames.empty()) return {};
  for (const TAccessibleRef& application : applications) {
    if (application.Bus == frames.front().Bus) return application;
  }
  return {};
}

std::vector<TAccessibleRef> TFocusLookup::ActiveFrames(
    TBusConnection& bus, const std::vector<TAccessibleRef>& applications, TDeadline deadline) {
  const std::vector<TAccessibleRef> frames = ChildrenOf(bus, applications, deadline);
  const std::vector<std::optional<TStateSet>> states = StatesOf(bus, frames, deadline);
  std::vector<TAccessibleRef> active;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    if (states[i].has_value() && states[i]->Has(TAccessibleState::Active))
      active.push_back(frames[i]);
  }
  return active;
}

TFocusReport TFocusLookup::Classify(TBusConnection& bus, const TAccessibleRef& object,
                                    TDeadline deadline) {
  std::vector<TMessage> calls;
  calls.push_back(StateCall(object));
  calls.push_back(InterfacesCall(object));
  std::vector<TMessage> replies = bus.CallAll(std::move(calls), deadline);
  TStateSet states;
  std::vector<std::string> interfaces;
  // An object that no longer shows (its window closed) is no focus.
  if (replies[0] == nullptr || !ReadStateSet(replies[0].get(), states) ||
      states.Has(TAccessibleState::Defunct) || !states.Has(TAccessibleState::Showing) ||
      replies[1] == nullptr || !ReadStrings(replies[1].get(), interfaces))
    return {};
  if (states.Has(TAccessibleState::Editable) && !states.Has(TAccessibleState::ReadOnly) &&
      Has(interfaces, kEditableTextInterface))
    return {TFocusKind::EditableText, object};
  return {TFocusKind::NotEditable, {}};
}

TFocusReport TFocusLookup::Walk(TBusConnection& bus, std::vector<TAccessibleRef> frames,
                                TDeadline deadline) {
  // A window we cannot see into (none active: it has lost its focus, or
  // its application keeps no such state) is left to the keyboard.
  if (frames.empty()) return {};
  std::vector<TAccessibleRef> level = std::move(frames);
  int seen = 0;
  while (!level.empty() && seen < kMostObjects) {
    seen += static_cast<int>(level.size());
    const std::vector<std::optional<TStateSet>> states = StatesOf(bus, level, deadline);
    std::vector<TAccessibleRef> into;
    for (std::size_t i = 0; i < level.size(); ++i) {
      if (!states[i].has_value()) {
        if (std::chrono::steady_clock::now() >= deadline) return {};
        continue;
      }
      const TStateSet& set = *states[i];
      if (set.Has(TAccessibleState::Focused)) return Classify(bus, level[i], deadline);
      // The focus is never in what does not show, and a table that
      // manages its descendants may have thousands of cells: it shows
      // its own focus.
      if (set.Has(TAccessibleState::Showing) && !set.Has(TAccessibleState::ManagesDescendants) &&
          !set.Has(TAccessibleState::Defunct))
        into.push_back(level[i]);
    }
    level = ChildrenOf(bus, into, deadline);
    if (std::chrono::steady_clock::now() >= deadline) return {};
  }
  // Too many objects to look at all: as good as not answering.
  if (!level.empty()) return {};
  // Looked everywhere it could be: the application has no focused text.
  return {TFocusKind::NotEditable, {}};
}

}  // namespace varnoke::platform
