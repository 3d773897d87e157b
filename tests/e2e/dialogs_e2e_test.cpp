// The hot-key and startup options dialogs of the running program, driven
// from its menu as a user would: a new hot key takes effect at once, and the
// start-up choice writes and removes the desktop's autostart entry.
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/e2e/program_fixture.h"
#include "tests/support/process.h"
#include "tests/x11/desktop_fixture.h"

namespace varnoke::testing {
namespace {

constexpr int kWait = 15000;

class ResidentDialogs : public ProgramTest {
 protected:
  std::string AutostartEntry() const {
    // The fixture keeps the settings beside the installation folder.
    const std::string install = Install();
    return install.substr(0, install.rfind('/')) + "/config/autostart/varnoke.desktop";
  }

  // Calls the search window up with ctrl+alt+f and gives it the keyboard.
  std::uint64_t SearchWindow() {
    Keys("ctrl+alt+f");
    const std::uint64_t search = WaitForSearchWindow(kWait);
    if (search != 0) {
      EXPECT_TRUE(Desktop().WaitForFocusIn(search, kWait));
    }
    return search;
  }

  // Opens a dialog from the File menu by its mnemonic and waits until it has
  // the keyboard.
  std::uint64_t OpenFromFileMenu(const std::string& mnemonic, const std::string& title) {
    Keys("alt+f");
    Keys(mnemonic);
    const std::uint64_t dialog = Watch().WaitForViewable(title, 50, kWait);
    if (dialog != 0) {
      EXPECT_TRUE(Desktop().WaitForFocusIn(dialog, kWait));
    }
    return dialog;
  }

  // A button's mnemonic clicks it a moment after the key, when the button
  // comes back up; the next key must not overtake that.
  static void LetTheClickLand() { std::this_thread::sleep_for(std::chrono::milliseconds(400)); }
};

TEST_F(ResidentDialogs, ANewHotKeyTakesEffectAtOnceAndTheOldOneIsFreed) {
  MakeFiles("docs", 5);
  Start();
  ASSERT_TRUE(WaitForTrayIcon(kWait)) << Stderr();
  const std::uint64_t search = SearchWindow();
  ASSERT_NE(search, 0u) << Stderr();
  const std::uint64_t dialog = OpenFromFileMenu("k", "Assign Hot Key");
  ASSERT_NE(dialog, 0u) << Stderr();
  Keys("ctrl+shift+F9");
  platform::TRect rect;
  ASSERT_TRUE(FramedRect(dialog, rect));
  Screenshot("hot-key-dialog", Around(rect, 8));
  Keys("Return");  // Assign, the default button
  ASSERT_TRUE(Watch().WaitGone("Assign Hot Key", 50, kWait));
  EXPECT_EQ(Dword("HotKey"), 120u);
  EXPECT_EQ(Dword("HotKeyShift"), 6u);

  Desktop().SetForegroundWindow(search);
  ASSERT_TRUE(Desktop().WaitForFocusIn(search, kWait));
  Keys("Escape");
  ASSERT_TRUE(Watch().WaitGone("Varnoke 96", 100, kWait));
  // The old key calls nothing up any more; the new one does.
  Keys("ctrl+alt+f");
  EXPECT_EQ(WaitForSearchWindow(2000), 0u);
  Keys("ctrl+shift+F9");
  EXPECT_NE(WaitForSearchWindow(kWait), 0u) << Stderr();
  EXPECT_EQ(Stop(SIGTERM), 0);
}

TEST_F(ResidentDialogs, TheStartupChoiceWritesAndRemovesTheAutostartEntry) {
  MakeFiles("docs", 5);
  SetDword("StartupOptions", 3);
  Start();
  ASSERT_TRUE(WaitForTrayIcon(kWait)) << Stderr();
  const std::uint64_t search = SearchWindow();
  ASSERT_NE(search, 0u) << Stderr();

  const std::uint64_t dialog = OpenFromFileMenu("o", "Set Startup Options");
  ASSERT_NE(dialog, 0u) << Stderr();
  Keys("alt+a");  // Start Automatically
  LetTheClickLand();
  platform::TRect rect;
  ASSERT_TRUE(FramedRect(dialog, rect));
  Screenshot("startup-options", Around(rect, 8));
  Keys("Return");
  ASSERT_TRUE(Watch().WaitGone("Set Startup Options", 50, kWait));
  EXPECT_EQ(Dword("StartupOptions"), 1u);
  const std::string entry = ReadWhole(AutostartEntry());
  EXPECT_NE(entry.find("\nExec=\"" + Install() + "/varnoke\"\n"), std::string::npos) << entry;
  int status = -1;
  RunCommand({"desktop-file-validate", AutostartEntry()}, &status);
  EXPECT_EQ(status, 0);

  Desktop().SetForegroundWindow(search);
  ASSERT_TRUE(Desktop().WaitForFocusIn(search, kWait));
  ASSERT_NE(OpenFromFileMenu("o", "Set Startup Options"), 0u) << Stderr();
  Keys("alt+n");  // Do not Start Automatically
  LetTheClickLand();
  Keys("Return");
  ASSERT_TRUE(Watch().WaitGone("Set Startup Options", 50, kWait));
  EXPECT_EQ(Dword("StartupOptions"), 3u);
  EXPECT_NE(::access(AutostartEntry().c_str(), F_OK), 0);
  EXPECT_EQ(Stop(SIGTERM), 0);
}

}  // namespace
}  // namespace varnoke::testing
