// Where the keyboard focus is in each application on the accessibility bus,
// as its focus events tell. The object that last gained the focus in an
// application is its focus for as long as nothing else gains it there: the
// losses that follow a hot key are no move of the user's. The key's own
// grab takes the focus from some toolkits' windows at the press (they
// report the loss then and take it back at the release), and our pop-up
// takes it right after; a field's focused state is gone by the time it is
// looked at, but what its events said still names it. An application whose
// gain went unheard (it focused its field as it started, before it knew
// that anyone listens) names the field when it loses it.
//
// Where the display cannot say which window the user works in (a native
// Wayland window), the applications' window events say it: the frame that
// became active last, and was not deactivated, before the press. What
// comes after the press (our pop-up taking the focus) is no move of the
// user's.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/a11y/accessible.h"
#include "platform/a11y/bus_connection.h"

namespace varnoke::platform {

class TFocusEvents {
 public:
  // Asks the bus to route focus and window activation events to this
  // connection, and the registry to have applications send them (they
  // send only events that someone listens for). False when that could not
  // be sent.
  static bool Subscribe(TBusConnection& bus);

  // Takes in one message from the bus; anything but a focus or window
  // activation event is left alone.
  void Take(DBusMessage* message);
  // The events taken so far came before the hot key's press; those taken
  // later came after it.
  void MarkPress() { press_ = order_; }

  // The object that the events of the application at bus name say has
  // the focus there; empty when none came.
  TAccessibleRef FocusIn(const std::string& application) const;
  // Of the applications among, the object that gained the focus last;
  // empty when none did.
  TAccessibleRef LatestFocus(const std::vector<TAccessibleRef>& among) const;

  // Of the applications among, the frame that was the active window at the
  // press, as the window events before it tell; empty when they tell of
  // none.
  TAccessibleRef ActiveAtPress(const std::vector<TAccessibleRef>& among) const;
  // True when the events before the press say that the application at bus
  // name was not where the user worked then: its active window had been
  // deactivated, or the object that last gained its focus had lost it.
  bool AwayAtPress(const std::string& application) const;

  // At most this many applications are remembered; the one heard from
  // least recently goes first.
  static constexpr std::size_t kMostApplications = 128;

 private:
  struct TFocus {
    std::string Gained;             // the object that gained it last; empty for none
    std::string Lost;               // the object that lost it last
    std::uint64_t Order = 0;        // when Gained gained it, in events taken
    std::uint64_t LostAt = 0;       // when Gained lost it again; 0 while it holds it
    std::uint64_t Heard = 0;        // when the last event came
    std::string Frame;              // the window activated last; empty for none
    std::uint64_t Activated = 0;    // when it was
    std::uint64_t Deactivated = 0;  // when it was deactivated again; 0 while active
  };
  // Records one focus or activation change; kind "focused" or "active".
  void Change(const char* application, const char* path, const std::string& kind, bool gained);
  // True when the event at order came before the press.
  bool BeforePress(std::uint64_t order) const { return order != 0 && order <= press_; }

  std::unordered_map<std::string, TFocus> focus_;  // by application bus name
  std::uint64_t order_ = 0;
  std::uint64_t press_ = 0;  // the last event taken before the press
};

}  // namespace varnoke::platform
