// Finding the text field the user works in on the accessibility bus: the
// application of the window the user works in, and in it the focused object
// with the state EDITABLE that takes EditableText calls. What the
// application's focus events say comes first (see TFocusEvents: it still
// holds once the key's grab or our pop-up has taken the focus away); where
// no event told of it, a walk below the application's frame with the state
// ACTIVE finds the object with the state FOCUSED; where the frame is no
// longer active, the application's next focus event names it.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/a11y/accessible.h"
#include "platform/a11y/bus_connection.h"
#include "platform/a11y/focus_events.h"

namespace varnoke::platform {

enum class TFocusKind {
  EditableText,  // the focus is an editable text field, named by Object
  NotEditable,   // the application answers, and its focus is no editable text
  OffTheBus,     // the application is not on the bus, or did not answer in time
};

struct TFocusReport {
  TFocusKind Kind = TFocusKind::OffTheBus;
  TAccessibleRef Object;  // EditableText only
};

class TFocusLookup {
 public:
  // process: the process that owns the window the user works in; without
  // one, the application whose window was active at the press (see
  // TFocusEvents::MarkPress), else of those not known to have been left
  // before it the one whose focus came last, else the one with an active
  // frame. ownProcess is never looked into. Every call is sent by
  // deadline and given up at it: an application that does not answer in
  // time counts as off the bus.
  // Takes in the events that have come on bus meanwhile.
  TFocusReport Find(TBusConnection& bus, TFocusEvents& events, std::optional<pid_t> process,
                    pid_t ownProcess, TDeadline deadline);

  // A walk looks at no more objects than this: a window with more has its
  // focus beyond reach, as if off the bus.
  static constexpr int kMostObjects = 4000;

 private:
  // The application of process (or, without one, as Find says); empty for
  // none.
  TAccessibleRef FindApplication(TBusConnection& bus, const TFocusEvents& events,
                                 std::optional<pid_t> process, pid_t ownProcess,
                                 TDeadline deadline);
  static void TakeEvents(TBusConnection& bus, TFocusEvents& events);
  // The object that application's next focus event names; empty when none
  // comes by deadline.
  static TAccessibleRef AwaitFocusEvent(TBusConnection& bus, TFocusEvents& events,
                                        const std::string& application, TDeadline deadline);
  // The frames with the state ACTIVE among applications' children.
  std::vector<TAccessibleRef> ActiveFrames(TBusConnection& bus,
                                           const std::vector<TAccessibleRef>& applications,
                                           TDeadline deadline);
  // Whether object is an editable text; OffTheBus when it did not answer
  // or is gone.
  TFocusReport Classify(TBusConnection& bus, const TAccessibleRef& object, TDeadline deadline);
  // The focused object below the frames, breadth first.
  TFocusReport Walk(TBusConnection& bus, std::vector<TAccessibleRef> frames, TDeadline deadline);

  // The process of each application seen, by bus name. Unique names are
  // never given out twice, so an entry stays true for as long as its name
  // is on the bus.
  std::unordered_map<std::string, pid_t> processes_;
};

}  // namespace varnoke::platform
