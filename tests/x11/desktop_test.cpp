// The desktop services against icewm: windows, frames, focus, the tray.
#include "platform/x11/desktop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "platform/x11/tray_watch.h"
#include "platform/x11/window_messages.h"
#include "platform/x11/x11_display.h"
#include "tests/x11/desktop_fixture.h"

namespace varnoke::platform {
namespace {

using testing::RunCommand;
using testing::TReceived;
using testing::TTestClient;

class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(client_.Connected());
    display_ = TX11Display::Open();
    ASSERT_NE(display_, nullptr);
    desktop_ = std::make_unique<TDesktop>(*display_);
  }

  // What xwininfo says of window's client area, grown by what xprop says
  // of its frame.
  TRect RectByTools(std::uint64_t window) {
    const std::string info = RunCommand({"xwininfo", "-id", std::to_string(window)});
    const std::string extents =
        RunCommand({"xprop", "-id", std::to_string(window), "_NET_FRAME_EXTENTS"});
    auto number = [&info](const std::string& label) {
      const auto at = info.find(label + ":");
      return at == std::string::npos ? -9999 : std::stoi(info.substr(at + label.size() + 1));
    };
    int left = 0, right = 0, top = 0, bottom = 0;
    const auto equals = extents.find("= ");
    if (equals != std::string::npos)
      std::sscanf(extents.c_str() + equals + 2, "%d, %d, %d, %d", &left, &right, &top, &bottom);
    const int x = number("Absolute upper-left X");
    const int y = number("Absolute upper-left Y");
    return TRect{x - left, y - top, x + number("Width") + right, y + number("Height") + bottom};
  }

  bool Activate(std::uint64_t window) {
    desktop_->SetForegroundWindow(window);
    return desktop_->WaitForFocusIn(window, 5000);
  }

  TTestClient client_;
  std::unique_ptr<TX11Display> display_;
  std::unique_ptr<TDesktop> desktop_;
};

TEST_F(DesktopTest, TheDisplayOfTheSessionIsAvailable) {
  EXPECT_TRUE(X11DisplayAvailable());
  EXPECT_EQ(TX11Display::Open(":9999"), nullptr);
  EXPECT_GE(display_->ConnectionFd(), 0);
  EXPECT_TRUE(desktop_->HasEwmhWindowManager());
}

TEST_F(DesktopTest, WindowRectIsTheFrameRectInRootCoordinates) {
  const std::uint64_t window = client_.CreateTopLevel(200, 150, 320, 240, "rect");
  ASSERT_NE(window, 0u);
  const std::uint64_t child = client_.CreateChild(window, 20, 30, 50, 40);
  TFrameExtents extents;
  ASSERT_TRUE(desktop_->GetFrameExtents(window, extents));
  EXPECT_GT(extents.Top, 0);  // icewm's title bar
  TRect rect;
  ASSERT_TRUE(desktop_->GetWindowRect(window, rect));
  EXPECT_EQ(rect, RectByTools(window));
  EXPECT_EQ(rect.Right - rect.Left, 320 + extents.Left + extents.Right);
  EXPECT_EQ(rect.Bottom - rect.Top, 240 + extents.Top + extents.Bottom);
  // A window inside gives its top-level's frame.
  TRect ofChild;
  ASSERT_TRUE(desktop_->GetWindowRect(child, ofChild));
  EXPECT_EQ(ofChild, rect);
  // The frame is the window manager's own window around the client.
  const std::string frame =
      RunCommand({"xwininfo", "-id", std::to_string(client_.RootChildOf(window))});
  EXPECT_NE(frame.find("Absolute upper-left X:  " + std::to_string(rect.Left)), std::string::npos)
      << frame;
}

TEST_F(DesktopTest, TopLevelIsTheManagedClientWindow) {
  const std::uint64_t window = client_.CreateTopLevel(50, 50, 200, 100, "top");
  ASSERT_NE(window, 0u);
  const std::uint64_t child = client_.CreateChild(window, 5, 5, 20, 20);
  const std::uint64_t grandchild = client_.CreateChild(child, 1, 1, 5, 5);
  EXPECT_EQ(desktop_->TopLevelOf(window), window);
  EXPECT_EQ(desktop_->TopLevelOf(grandchild), window);
  // From the frame downwards too.
  const std::uint64_t frame = client_.RootChildOf(window);
  ASSERT_NE(frame, window);
  EXPECT_EQ(desktop_->TopLevelOf(frame), window);
  EXPECT_EQ(desktop_->TopLevelOf(client_.Root()), 0u);
  EXPECT_EQ(desktop_->TopLevelOf(0), 0u);
  EXPECT_EQ(desktop_->TopLevelOf(0x7ffffff), 0u);  // no such window
  TRect rect;
  EXPECT_FALSE(desktop_->GetWindowRect(0x7ffffff, rect));
}

TEST_F(DesktopTest, ParentIsTheWindowATransientBelongsTo) {
  const std::uint64_t owner = client_.CreateTopLevel(10, 10, 200, 200, "owner");
  const std::uint64_t dialog = client_.CreateTopLevel(40, 40, 100, 80, "dialog");
  ASSERT_NE(owner, 0u);
  ASSERT_NE(dialog, 0u);
  client_.SetTransientFor(dialog, owner);
  EXPECT_EQ(desktop_->GetParent(dialog), owner);
  EXPECT_EQ(desktop_->GetParent(owner), 0u);
  EXPECT_EQ(desktop_->GetParent(0x7ffffff), 0u);
}

TEST_F(DesktopTest, ForegroundMakesTheWindowActiveAndFocused) {
  const std::uint64_t first = client_.CreateTopLevel(10, 10, 200, 150, "first");
  const std::uint64_t second = client_.CreateTopLevel(300, 10, 200, 150, "second");
  ASSERT_NE(first, 0u);
  ASSERT_NE(second, 0u);
  ASSERT_TRUE(Activate(first));
  EXPECT_EQ(desktop_->ActiveWindow(), first);
  EXPECT_EQ(desktop_->TopLevelOf(desktop_->FocusWindow()), first);
  ASSERT_TRUE(Activate(second));
  EXPECT_EQ(desktop_->ActiveWindow(), second);
  desktop_->SetForegroundWindow(0x7ffffff);  // gone: nothing happens
  EXPECT_EQ(desktop_->ActiveWindow(), second);
}

TEST_F(DesktopTest, WaitForFocusInSeesAnActivationByAnotherProgram) {
  const std::uint64_t first = client_.CreateTopLevel(10, 10, 200, 150, "first");
  const std::uint64_t second = client_.CreateTopLevel(300, 10, 200, 150, "second");
  ASSERT_NE(first, 0u);
  ASSERT_NE(second, 0u);
  const std::uint64_t inner = client_.CreateChild(second, 10, 10, 50, 50);
  ASSERT_TRUE(Activate(first));
  RunCommand({"xdotool", "windowactivate", std::to_string(second)});
  EXPECT_TRUE(desktop_->WaitForFocusIn(second, 5000));
  // The focus on a window inside counts as in the top-level.
  client_.SetInputFocus(inner);
  EXPECT_TRUE(desktop_->WaitForFocusIn(inner, 1000));
  EXPECT_TRUE(desktop_->WaitForFocusIn(second, 1000));
}

TEST_F(DesktopTest, WaitForFocusInGivesUpAfterItsTimeout) {
  const std::uint64_t first = client_.CreateTopLevel(10, 10, 200, 150, "first");
  const std::uint64_t second = client_.CreateTopLevel(300, 10, 200, 150, "second");
  ASSERT_NE(first, 0u);
  ASSERT_NE(second, 0u);
  ASSERT_TRUE(Activate(first));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(desktop_->WaitForFocusIn(second, 300));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(300));
  EXPECT_LT(waited, std::chrono::milliseconds(3000));
  EXPECT_FALSE(desktop_->WaitForFocusIn(0x7ffffff, 100));
}

TEST_F(DesktopTest, PostedMessagesArriveWithTheirWords) {
  const std::uint64_t receiver = client_.CreateReceiver();
  const std::uint32_t activate = RegisterWindowMessage(display_.get(), "ACTIVATEMORVATH");
  ASSERT_NE(activate, 0u);
  EXPECT_EQ(RegisterWindowMessage(display_.get(), "ACTIVATEMORVATH"), activate);
  ASSERT_TRUE(PostWindowMessage(*display_, receiver, activate, 0x1a00005, 0x201));
  // Only 32 bits of each word travel.
  ASSERT_TRUE(PostWindowMessage(*display_, receiver, activate, 0x100000007ull, 0));
  TReceived message;
  ASSERT_TRUE(client_.NextClientMessage(message, 5000));
  EXPECT_EQ(message.window, receiver);
  EXPECT_EQ(message.name, "ACTIVATEMORVATH");
  EXPECT_EQ(message.wParam, 0x1a00005u);
  EXPECT_EQ(message.lParam, 0x201u);
  ASSERT_TRUE(client_.NextClientMessage(message, 5000));
  EXPECT_EQ(message.wParam, 7u);
}

TEST_F(DesktopTest, TheWindowManagersTrayIsPresent) {
  auto tray = TTrayWatch::Open();
  ASSERT_NE(tray, nullptr);
  EXPECT_TRUE(tray->Present());
  EXPECT_GE(tray->Fd(), 0);
}

}  // namespace
}  // namespace varnoke::platform
