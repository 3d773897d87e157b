// The desktop services on a display with no window manager and no tray.
#include <gtest/gtest.h>
#include <poll.h>

#include <memory>

#include "platform/x11/desktop.h"
#include "platform/x11/tray_watch.h"
#include "platform/x11/x11_display.h"
#include "tests/x11/desktop_fixture.h"

namespace varnoke::platform {
namespace {

using testing::TTestClient;

class BareDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(client_.Connected());
    display_ = TX11Display::Open();
    ASSERT_NE(display_, nullptr);
    desktop_ = std::make_unique<TDesktop>(*display_);
  }
  TTestClient client_;
  std::unique_ptr<TX11Display> display_;
  std::unique_ptr<TDesktop> desktop_;
};

TEST_F(BareDesktopTest, ForegroundGivesTheFocusDirectly) {
  EXPECT_FALSE(desktop_->HasEwmhWindowManager());
  const std::uint64_t window = client_.CreateTopLevel(30, 40, 200, 100, "bare");
  ASSERT_NE(window, 0u);
  desktop_->SetForegroundWindow(window);
  ASSERT_TRUE(desktop_->WaitForFocusIn(window, 5000));
  EXPECT_EQ(desktop_->FocusWindow(), window);
  // With no _NET_ACTIVE_WINDOW, the focus's top-level is the active one.
  EXPECT_EQ(desktop_->ActiveWindow(), window);
  EXPECT_EQ(desktop_->TopLevelOf(window), window);
}

TEST_F(BareDesktopTest, AWindowWithoutFrameHasItsOwnRect) {
  const std::uint64_t window = client_.CreateTopLevel(30, 40, 200, 100, "bare");
  ASSERT_NE(window, 0u);
  TFrameExtents extents;
  EXPECT_FALSE(desktop_->GetFrameExtents(window, extents));
  TRect rect;
  ASSERT_TRUE(desktop_->GetWindowRect(window, rect));
  EXPECT_EQ(rect, (TRect{30, 40, 230, 140}));
}

TEST_F(BareDesktopTest, TrayWatchWakesWhenATrayAnnouncesItself) {
  auto tray = TTrayWatch::Open();
  ASSERT_NE(tray, nullptr);
  EXPECT_FALSE(tray->Present());
  client_.BecomeTrayManager();
  pollfd fd{tray->Fd(), POLLIN, 0};
  // Readable once the announcement came, with no polling of the owner.
  ASSERT_EQ(::poll(&fd, 1, 5000), 1);
  tray->Dispatch();
  EXPECT_TRUE(tray->Present());
}

}  // namespace
}  // namespace varnoke::platform
