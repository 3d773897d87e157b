// The resident program on a Wayland desktop of its own (tests/desktop/
// wayland-session: headless mutter with XWayland, its own buses), keys
// pressed through mutter's remote-desktop interface: the pop-up over a
// native Wayland window by `varnoke --popup` and by the desktop portal's
// global shortcut, the hot key through KDE's shortcut service, GNOME's
// custom keybinding, and the tray icon as a StatusNotifierItem.
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "tests/e2e/program_fixture.h"
#include "tests/wayland/remote_desktop.h"
#include "tests/x11/desktop_fixture.h"

namespace varnoke::testing {
namespace {

constexpr int kWait = 15000;

// Sets an environment variable for the programs started while it lives.
class TEnv {
 public:
  TEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~TEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  TEnv(const TEnv&) = delete;
  TEnv& operator=(const TEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class WaylandProgram : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    ASSERT_NE(std::getenv("WAYLAND_DISPLAY"), nullptr) << "run inside wayland-session";
    std::string problem;
    keys_ = TRemoteDesktop::Open(problem);
    ASSERT_NE(keys_, nullptr) << problem;
    // The first key of a new remote-desktop session may set its keyboard
    // up instead of arriving.
    keys_->Keys("shift");
  }

  // Starts the program with a tray host on the bus; true once its icon
  // is registered there.
  bool StartWithTray() {
    tray_ = std::make_unique<TChild>(std::vector<std::string>{TestProgram("sni-watcher")});
    std::string rest;
    if (!tray_->ReadLineStarting("ready", rest, kWait)) return false;
    Start();
    return tray_->ReadLineStarting("item ", rest, kWait);
  }

  // A native Wayland window with a focused line edit (Qt's Wayland
  // platform), once it has the keyboard.
  std::unique_ptr<TChild> NativeWindow(const std::string& platform = "wayland") {
    const TEnv qpa("QT_QPA_PLATFORM", platform);
    auto probe = std::make_unique<TChild>(std::vector<std::string>{
        TestProgram("line-edit-probe"), "--text", "native text", "--size", "640x420"});
    std::string rest;
    EXPECT_TRUE(probe->ReadLineStarting("focused", rest, kWait));
    return probe;
  }

  int Popup() {
    int status = -1;
    RunCommand({VARNOKE_PROGRAM, "--popup"}, &status);
    return status;
  }

  // Waits until the program said something on standard error.
  bool WaitForStderr(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWait);
    while (Stderr().find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  std::unique_ptr<TRemoteDesktop> keys_;
  std::unique_ptr<TChild> tray_;
};

TEST_F(WaylandProgram, ThePopupCommandCallsTheWindowUpCentredWithTheFocus) {
  MakeFiles("docs", 20);
  MakeFile("deep/Wayland-Target.txt");
  ASSERT_TRUE(StartWithTray()) << Stderr();
  const auto native = NativeWindow();

  EXPECT_EQ(Popup(), 0);
  const std::uint64_t search = WaitForSearchWindow(kWait);
  ASSERT_NE(search, 0u) << Stderr();
  ASSERT_TRUE(Desktop().WaitForFocusIn(search, kWait));
  // Nobody can tell where the native window stands: the window comes up
  // in the middle of the screen (1280x800); the first time, before its
  // frame is known, with the window's own area in the middle.
  platform::TRect shown;
  ASSERT_TRUE(FramedRect(search, shown));
  platform::TFrameExtents frame;
  ASSERT_TRUE(Desktop().GetFrameExtents(search, frame));
  EXPECT_NEAR((shown.Left + shown.Right) / 2, 640, 2);
  EXPECT_NEAR((shown.Top + shown.Bottom) / 2, 400, frame.Top);

  // The keys of the desktop reach the search box.
  ASSERT_TRUE(keys_->Type("*TARGET*"));
  ASSERT_TRUE(keys_->Keys("Return"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  WindowShot("wayland-popup", search);
  ASSERT_TRUE(keys_->Keys("Return"));
  ASSERT_TRUE(Watch().WaitGone("Varnoke 96", 100, kWait));
  // No window of the display took the path: it waits on the clipboard.
  const std::string path = Disk() + "/deep/Wayland-Target.txt";
  EXPECT_TRUE(WaitForStderr("It is on the clipboard instead: " + path)) << Stderr();
  int status = -1;
  EXPECT_EQ(RunCommand({"xclip", "-o", "-selection", "clipboard"}, &status), path);

  // The tray's click shows it again, at the same place and size.
  tray_->Send("activate");
  ASSERT_NE(WaitForSearchWindow(kWait), 0u);
  platform::TRect again;
  ASSERT_TRUE(FramedRect(search, again));
  EXPECT_EQ(again, shown);
  ASSERT_TRUE(Desktop().WaitForFocusIn(search, kWait));
  WindowShot("wayland-tray-popup", search);
  ASSERT_TRUE(keys_->Keys("Escape"));
  ASSERT_TRUE(Watch().WaitGone("Varnoke 96", 100, kWait));
  // Called up again, the whole frame is in the middle.
  EXPECT_EQ(Popup(), 0);
  ASSERT_NE(WaitForSearchWindow(kWait), 0u);
  ASSERT_TRUE(FramedRect(search, again));
  EXPECT_NEAR((again.Left + again.Right) / 2, 640, 1);
  EXPECT_NEAR((again.Top + again.Bottom) / 2, 400, 1);
  EXPECT_EQ(again.Right - again.Left, shown.Right - shown.Left);
  EXPECT_EQ(again.Bottom - again.Top, shown.Bottom - shown.Top);
  EXPECT_EQ(Stop(SIGTERM), 0);
}

}  // namespace
}  // namespace varnoke::testing
