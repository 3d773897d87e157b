// Text fields of real applications on the accessibility bus of a desktop of
// the test's own: found as the hook finds them, filled as the program fills
// them, and never waited for longer than the deadline.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "platform/a11y/accessibility_bus.h"
#include "platform/a11y/editable_text.h"
#include "platform/a11y/focus_lookup.h"
#include "platform/x11/desktop.h"
#include "platform/x11/x11_display.h"
#include "tests/x11/desktop_fixture.h"
#include "tests/x11/probe_window.h"

namespace varnoke::platform {
namespace {

using testing::RunCommand;
using testing::TChild;
using testing::TProbeWindow;

constexpr int kWait = 15000;
constexpr int kLookupMs = 150;
constexpr char kPath[] = "/home/Ülrich/Документы/Études €/draft-name.txt";

class TextFieldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    display_ = TX11Display::Open();
    ASSERT_NE(display_, nullptr) << "no display: run inside desktop-session";
    desktop_ = std::make_unique<TDesktop>(*display_);
    // Applications serve their fields only when the switch is on as they
    // start.
    const TAccessibilitySwitch turned =
        SwitchAccessibilityOn(SessionBusAddress(), DeadlineIn(kWait));
    ASSERT_NE(turned, TAccessibilitySwitch::Unavailable);
    EXPECT_EQ(SwitchAccessibilityOn(SessionBusAddress(), DeadlineIn(kWait)),
              TAccessibilitySwitch::WasOn);
    std::string error;
    bus_ = OpenAccessibilityBus(SessionBusAddress(), DeadlineIn(kWait), &error);
    ASSERT_NE(bus_, nullptr) << error;
    ASSERT_TRUE(TFocusEvents::Subscribe(*bus_));
  }

  // What the hook does at a press: the events up to now, then the lookup.
  TFocusReport Press(pid_t process, double* ms = nullptr) {
    Dispatch();
    return Find(process, ms);
  }
  // The lookup alone, as when the focus has gone away since the press.
  TFocusReport Find(pid_t process, double* ms = nullptr) {
    const auto start = std::chrono::steady_clock::now();
    TFocusReport report = lookup_.Find(*bus_, events_, process, ::getpid(), DeadlineIn(kLookupMs));
    if (ms != nullptr)
      *ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
    return report;
  }
  void Dispatch() {
    bus_->Dispatch([this](DBusMessage* message) { events_.Take(message); });
  }
  // Presses until the application has come onto the bus with its focus as
  // kind says.
  TFocusReport PressUntil(pid_t process, TFocusKind kind) {
    TFocusReport report;
    for (int tries = 0; tries < kWait / 50; ++tries) {
      report = Press(process);
      if (report.Kind == kind) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return report;
  }

  // The window titled title, once shown, given the focus.
  std::uint64_t FocusWindowTitled(const std::string& title) {
    int status = -1;
    const std::string found =
        RunCommand({"timeout", "15", "xdotool", "search", "--sync", "--name", title}, &status);
    if (status != 0 || found.empty()) return 0;
    const std::uint64_t window = std::stoull(found);
    desktop_->SetForegroundWindow(window);
    return desktop_->WaitForFocusIn(window, kWait) ? window : 0;
  }

  static void Keys(const std::string& keys) {
    int status = -1;
    RunCommand({"xdotool", "key", "--clearmodifiers", keys}, &status);
    ASSERT_EQ(status, 0) << keys;
  }

  std::unique_ptr<TX11Display> display_;
  std::unique_ptr<TDesktop> desktop_;
  std::unique_ptr<TBusConnection> bus_;
  TFocusEvents events_;
  TFocusLookup lookup_;
};

TEST_F(TextFieldTest, AGtkEntryIsFoundAsThePopUpTakesTheFocusAndTakesAWholePath) {
  // Made first: a window manager gives a new window the focus.
  testing::TTestClient other;
  const std::uint64_t popup = other.CreateTopLevel(50, 50, 300, 200, "pop-up");
  TChild zenity(
      {"/usr/bin/zenity", "--entry", "--title=Field of zenity", "--entry-text=draft-name.txt"});
  const std::uint64_t window = FocusWindowTitled("Field of zenity");
  ASSERT_NE(window, 0u);
  const TFocusReport entry = PressUntil(zenity.Pid(), TFocusKind::EditableText);
  ASSERT_EQ(entry.Kind, TFocusKind::EditableText);
  double ms = 0;
  EXPECT_EQ(Press(zenity.Pid(), &ms).Object, entry.Object);
  EXPECT_LT(ms, kLookupMs);

  // Where no event told of the field, the walk below the active frame
  // finds it: a connection that hears no events.
  std::unique_ptr<TBusConnection> deaf =
      OpenAccessibilityBus(SessionBusAddress(), DeadlineIn(kWait));
  ASSERT_NE(deaf, nullptr);
  TFocusEvents none;
  EXPECT_EQ(lookup_.Find(*deaf, none, zenity.Pid(), ::getpid(), DeadlineIn(kLookupMs)).Object,
            entry.Object);

  // Another window takes the focus right after the press: the field has
  // lost its focused state by the time it is looked at, and its frame is
  // no longer active, but its events still name it.
  desktop_->SetForegroundWindow(popup);
  ASSERT_TRUE(desktop_->WaitForFocusIn(popup, kWait));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(Press(zenity.Pid()).Object, entry.Object);

  desktop_->SetForegroundWindow(window);
  ASSERT_TRUE(desktop_->WaitForFocusIn(window, kWait));
  ASSERT_TRUE(ReplaceText(*bus_, entry.Object, kPath, DeadlineIn(kWait)));
  Keys("Return");
  std::string printed;
  ASSERT_TRUE(zenity.ReadLine(printed, kWait));
  EXPECT_EQ(printed, kPath);
}

TEST_F(TextFieldTest, AButtonIsNoTextFieldAndAStoppedApplicationIsNotWaitedFor) {
  TChild zenity({"/usr/bin/zenity", "--question", "--title=Question of zenity", "--text=Go on?"});
  ASSERT_NE(FocusWindowTitled("Question of zenity"), 0u);
  EXPECT_EQ(PressUntil(zenity.Pid(), TFocusKind::NotEditable).Kind, TFocusKind::NotEditable);

  // A hung application: every call to it ends at the deadline.
  ASSERT_EQ(::kill(zenity.Pid(), SIGSTOP), 0);
  double ms = 0;
  EXPECT_EQ(Press(zenity.Pid(), &ms).Kind, TFocusKind::OffTheBus);
  EXPECT_LT(ms, kLookupMs + 250);
  ::kill(zenity.Pid(), SIGCONT);

  // Neither the program itself nor a process off the bus is looked into.
  EXPECT_EQ(Press(::getpid()).Kind, TFocusKind::OffTheBus);
  EXPECT_EQ(Press(::getppid()).Kind, TFocusKind::OffTheBus);
  EXPECT_EQ(Press(0).Kind, TFocusKind::OffTheBus);
}

TEST_F(TextFieldTest, AQtLineEditStartedAfterTheSwitchIsFoundSelectedAndFilled) {
  TProbeWindow probe(*display_, *desktop_, "old text");
  const TFocusReport field = PressUntil(probe.Pid(), TFocusKind::EditableText);
  ASSERT_EQ(field.Kind, TFocusKind::EditableText);

  // Selected whole, the text gives way to what is typed.
  Keys("End");
  ASSERT_EQ(probe.Text(), "old text");
  ASSERT_TRUE(SelectAllText(*bus_, field.Object, DeadlineIn(kWait)));
  Keys("x");
  EXPECT_EQ(probe.Text(), "x");

  ASSERT_TRUE(ReplaceText(*bus_, field.Object, kPath, DeadlineIn(kWait)));
  EXPECT_EQ(probe.Text(), kPath);
  // The caret is at the end: what is typed next comes after the path.
  Keys("y");
  EXPECT_EQ(probe.Text(), std::string(kPath) + "y");
  // Text the bus cannot carry is refused before it is sent.
  EXPECT_FALSE(ReplaceText(*bus_, field.Object, "/tmp/\xff.txt", DeadlineIn(kWait)));
  EXPECT_EQ(probe.Text(), std::string(kPath) + "y");
}

}  // namespace
}  // namespace varnoke::platform
