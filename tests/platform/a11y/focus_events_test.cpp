// Where the focus is in each application, as its focus events tell.
#include "platform/a11y/focus_events.h"

#include <dbus/dbus.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/a11y/message_values.h"

namespace varnoke::platform {
namespace {

class FocusEventsTest : public ::testing::Test {
 protected:
  // An object's state-changed event as application sends it.
  void Event(const std::string& application, const std::string& path, const char* kind, int detail,
             const char* interface = "org.a11y.atspi.Event.Object") {
    TMessage signal(dbus_message_new_signal(path.c_str(), interface, "StateChanged"));
    ASSERT_NE(signal, nullptr);
    ASSERT_TRUE(dbus_message_set_sender(signal.get(), application.c_str()));
    const dbus_int32_t first = detail;
    const dbus_int32_t second = 0;
    ASSERT_TRUE(dbus_message_append_args(signal.get(), DBUS_TYPE_STRING, &kind, DBUS_TYPE_INT32,
                                         &first, DBUS_TYPE_INT32, &second, DBUS_TYPE_INVALID));
    events_.Take(signal.get());
  }
  void Gained(const std::string& application, const std::string& path) {
    Event(application, path, "focused", 1);
  }
  void Lost(const std::string& application, const std::string& path) {
    Event(application, path, "focused", 0);
  }
  // A window's activation event (member Activate or Deactivate).
  void Window(const std::string& application, const std::string& path, const char* member) {
    TMessage signal(dbus_message_new_signal(path.c_str(), "org.a11y.atspi.Event.Window", member));
    ASSERT_NE(signal, nullptr);
    ASSERT_TRUE(dbus_message_set_sender(signal.get(), application.c_str()));
    const char* kind = "";
    const dbus_int32_t detail = 0;
    ASSERT_TRUE(dbus_message_append_args(signal.get(), DBUS_TYPE_STRING, &kind, DBUS_TYPE_INT32,
                                         &detail, DBUS_TYPE_INT32, &detail, DBUS_TYPE_INVALID));
    events_.Take(signal.get());
  }

  TFocusEvents events_;
};

TEST_F(FocusEventsTest, TheLastObjectToGainTheFocusKeepsItUntilAnotherGainsIt) {
  EXPECT_TRUE(events_.FocusIn(":1.4").Empty());
  Gained(":1.4", "/a/entry");
  EXPECT_EQ(events_.FocusIn(":1.4"), (TAccessibleRef{":1.4", "/a/entry"}));
  // The key's grab and the pop-up take the window's focus: the field is
  // still the one the user works in.
  Lost(":1.4", "/a/entry");
  EXPECT_EQ(events_.FocusIn(":1.4"), (TAccessibleRef{":1.4", "/a/entry"}));
  // The user moves on within the window, in either order of the events.
  Gained(":1.4", "/a/button");
  Lost(":1.4", "/a/entry");
  EXPECT_EQ(events_.FocusIn(":1.4").Path, "/a/button");
  Lost(":1.4", "/a/button");
  Gained(":1.4", "/a/entry");
  EXPECT_EQ(events_.FocusIn(":1.4").Path, "/a/entry");
}

TEST_F(FocusEventsTest, AFieldWhoseGainWentUnheardIsNamedByItsLoss) {
  Lost(":1.7", "/b/entry");
  EXPECT_EQ(events_.FocusIn(":1.7"), (TAccessibleRef{":1.7", "/b/entry"}));
  Gained(":1.7", "/b/list");
  Lost(":1.7", "/b/list");
  EXPECT_EQ(events_.FocusIn(":1.7").Path, "/b/list");
}

TEST_F(FocusEventsTest, OtherEventsChangeNothing) {
  Gained(":1.4", "/a/entry");
  Event(":1.4", "/a/other", "checked", 1);
  Event(":1.4", "/a/other", "focused", 1, "org.a11y.atspi.Event.Window");
  Event(":1.9", "/c/other", "selected", 0);
  EXPECT_EQ(events_.FocusIn(":1.4").Path, "/a/entry");
  EXPECT_TRUE(events_.FocusIn(":1.9").Empty());
}

TEST_F(FocusEventsTest, TheLatestFocusIsTheLastGainedAmongTheApplicationsAsked) {
  const std::vector<TAccessibleRef> both{{":1.4", "/"}, {":1.5", "/"}};
  EXPECT_TRUE(events_.LatestFocus(both).Empty());
  Gained(":1.4", "/a/entry");
  Gained(":1.5", "/b/list");
  Gained(":1.6", "/ours/search");
  EXPECT_EQ(events_.LatestFocus(both), (TAccessibleRef{":1.5", "/b/list"}));
  // The user goes back to the first application.
  Lost(":1.5", "/b/list");
  Gained(":1.4", "/a/entry");
  EXPECT_EQ(events_.LatestFocus(both), (TAccessibleRef{":1.4", "/a/entry"}));
  EXPECT_TRUE(events_.LatestFocus({}).Empty());
}

TEST_F(FocusEventsTest, TheWindowActiveAtThePressIsTheOneActivatedLastBeforeIt) {
  const std::vector<TAccessibleRef> both{{":1.4", "/"}, {":1.5", "/"}};
  Window(":1.4", "/a/frame", "Activate");
  events_.MarkPress();
  EXPECT_EQ(events_.ActiveAtPress(both), (TAccessibleRef{":1.4", "/a/frame"}));
  // The user moves to the other application's window.
  Window(":1.4", "/a/frame", "Deactivate");
  Window(":1.5", "/b/frame", "Activate");
  events_.MarkPress();
  // Our pop-up deactivates it, and the first window comes back after the
  // press: neither changes where the user was.
  Window(":1.5", "/b/frame", "Deactivate");
  Window(":1.4", "/a/frame", "Activate");
  EXPECT_EQ(events_.ActiveAtPress(both), (TAccessibleRef{":1.5", "/b/frame"}));
  EXPECT_TRUE(events_.ActiveAtPress({{":1.4", "/"}}).Empty());
  events_.MarkPress();
  EXPECT_EQ(events_.ActiveAtPress(both), (TAccessibleRef{":1.4", "/a/frame"}));
  // Left for a window off the bus: none was active.
  Window(":1.4", "/a/frame", "Deactivate");
  events_.MarkPress();
  EXPECT_TRUE(events_.ActiveAtPress(both).Empty());
  // A dialog of the application that closes leaves its main window active.
  Window(":1.5", "/b/frame", "Activate");
  Window(":1.5", "/b/dialog", "Deactivate");
  events_.MarkPress();
  EXPECT_EQ(events_.ActiveAtPress(both), (TAccessibleRef{":1.5", "/b/frame"}));
}

TEST_F(FocusEventsTest, AnApplicationLeftBeforeThePressWasAway) {
  EXPECT_FALSE(events_.AwayAtPress(":1.4"));
  Gained(":1.4", "/a/entry");
  events_.MarkPress();
  // The pop-up takes the focus after the press.
  Lost(":1.4", "/a/entry");
  EXPECT_FALSE(events_.AwayAtPress(":1.4"));
  // At the next press the loss came before it.
  events_.MarkPress();
  EXPECT_TRUE(events_.AwayAtPress(":1.4"));
  // Another object's loss is no loss of the focus.
  Gained(":1.4", "/a/entry");
  Lost(":1.4", "/a/button");
  events_.MarkPress();
  EXPECT_FALSE(events_.AwayAtPress(":1.4"));
  // Its window deactivated before the press.
  Window(":1.5", "/b/frame", "Activate");
  Window(":1.5", "/b/frame", "Deactivate");
  events_.MarkPress();
  EXPECT_TRUE(events_.AwayAtPress(":1.5"));
  EXPECT_TRUE(events_.ActiveAtPress({{":1.5", "/"}}).Empty());
}

TEST_F(FocusEventsTest, OnlyTheMostRecentlyHeardApplicationsAreKept) {
  Gained(":1.0", "/first");
  for (std::size_t i = 1; i <= TFocusEvents::kMostApplications; ++i)
    Gained(":1." + std::to_string(i), "/object");
  EXPECT_TRUE(events_.FocusIn(":1.0").Empty());
  EXPECT_EQ(events_.FocusIn(":1.1").Path, "/object");
  EXPECT_EQ(events_.FocusIn(":1." + std::to_string(TFocusEvents::kMostApplications)).Path,
            "/object");
}

}  // namespace
}  // namespace varnoke::platform
