// The resident program on a desktop of its own (Xvfb, icewm with its tray,
// a session bus with the accessibility bus): its start, its tray icon, the
// single instance, the save policy on the way out, the hot key's pop-up
// over another program and the chosen path put into that program's field.
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "tests/e2e/program_fixture.h"
#include "tests/x11/desktop_fixture.h"
#include "tests/x11/probe_window.h"

namespace varnoke::testing {
namespace {

constexpr int kWait = 15000;

ino_t Inode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class ResidentProgram : public ProgramTest {
 protected:
  // The clipboard's text, once it passes test, pressing keys before each
  // look; empty when it never does.
  static std::string ClipboardOnceIt(const std::string& keys,
                                     const std::function<bool(const std::string&)>& test) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWait);
    while (std::chrono::steady_clock::now() < deadline) {
      Keys(keys);
      const std::string text = RunCommand({"xclip", "-o", "-selection", "clipboard"});
      if (test(text)) return text;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
  }
};

TEST_F(ResidentProgram, StartsOnceWithItsTrayIconAndSavesWhenTheSessionEnds) {
  MakeFiles("docs", 50);
  SetDword("ShowSplash", 0);
  Start();
  ASSERT_TRUE(WaitForTrayIcon(kWait)) << Stderr();

  // A second start ends at once, silently, and leaves the first alone.
  const pid_t second = Start();
  EXPECT_EQ(WaitExit(second, 5000), 0);
  EXPECT_EQ(::kill(Pid(), 0), 0);

  EXPECT_EQ(Stop(SIGTERM), 0) << Stderr();
  EXPECT_EQ(Dword("SaveSuccessful"), 1u);
  const ino_t saved = Inode(DatabasePath());
  ASSERT_NE(saved, 0u);

  // The next start loads the saved file instead of scanning, with the
  // splash window up while it does.
  SetDword("ShowSplash", 1);
  Start();
  const std::uint64_t splash = Watch().WaitForViewable("Varnoke 96", 100, kWait);
  ASSERT_NE(splash, 0u) << Stderr();
  platform::TRect rect;
  ASSERT_TRUE(FramedRect(splash, rect));
  Screenshot("splash", Around(rect, 8));
  ASSERT_TRUE(WaitForTrayIcon(kWait)) << Stderr();
  EXPECT_EQ(Dword("SaveSuccessful"), 0u);
  EXPECT_EQ(Inode(DatabasePath()), saved);
  EXPECT_EQ(Stop(SIGHUP), 0);
  EXPECT_EQ(Dword("SaveSuccessful"), 1u);
}

TEST_F(ResidentProgram, TheScanCanBeKeptGoingFromItsProgressWindow) {
  // Enough entries that the scan still runs when its window is closed.
  for (int folder = 0; folder < 20; ++folder)
    MakeFiles("many/f" + std::to_string(folder), 5000);
  Start();
  const std::uint64_t progress = Watch().WaitForTitle("Scanning your hard drives...", kWait);
  ASSERT_NE(progress, 0u) << Stderr();
  Watch().Close(progress);
  // The question holds the scan until it is answered.
  const std::uint64_t question = Watch().WaitForViewable("Varnoke", 50, kWait);
  ASSERT_NE(question, 0u);
  platform::TRect progressRect;
  platform::TRect questionRect;
  ASSERT_TRUE(FramedRect(progress, progressRect));
  ASSERT_TRUE(FramedRect(question, questionRect));
  Screenshot("progress", Around(progressRect, 8));
  Screenshot("scan-question", Around(questionRect, 8));
  Watch().Close(question);  // No: the scan goes on
  ASSERT_TRUE(WaitForTrayIcon(60000)) << Stderr();
  ASSERT_EQ(::kill(Pid(), 0), 0) << "the program ended";
  EXPECT_EQ(Stop(SIGINT), 0);
  EXPECT_EQ(Dword("SaveSuccessful"), 1u) << "stderr: " << Stderr();
}

TEST_F(ResidentProgram, ExitAnsweredYesEndsWithoutSaving) {
  MakeFiles("docs", 10);
  SetDword("SaveSuccessful", 5);
  Start();
  ASSERT_TRUE(WaitForTrayIcon(kWait)) << Stderr();
  const ino_t scanned = Inode(DatabasePath());
  Keys("ctrl+alt+f");
  ASSERT_NE(WaitForSearchWindow(kWait), 0u);
  Keys("alt+f");
  Keys("x");
  const std::uint64_t question = Watch().WaitForViewable("Varnoke", 50, kWait);
  ASSERT_NE(question, 0u);
  Desktop().SetForegroundWindow(question);
  ASSERT_TRUE(Desktop().WaitForFocusIn(question, kWait));
  Keys("Return");  // Yes, the default button
  EXPECT_EQ(WaitExit(Pid(), kWait), 0);
  EXPECT_EQ(Dword("SaveSuccessful"), 5u);
  EXPECT_EQ(Inode(DatabasePath()), scanned);
}

TEST_F(ResidentProgram, TheHotKeyPopsUpOverTheWindowAndFillsItsFieldWithTheChosenPath) {
  MakeFiles("docs", 20);
  const std::string name = "Ünïcode-Éé-Жж-€.txt";
  MakeFile("Straße/" + name);
  Start();
  ASSERT_TRUE(WaitForTrayIcon(kWait)) << Stderr();
  TProbeWindow probe(Display(), Desktop(), "old text", {"--size", "640x420"});

  // A first pop-up leaves a pattern behind; the next one selects it, so
  // typing replaces it.
  Keys("ctrl+alt+f");
  const std::uint64_t search = WaitForSearchWindow(kWait);
  ASSERT_NE(search, 0u) << Stderr();
  ASSERT_TRUE(Desktop().WaitForFocusIn(search, kWait));
  Type("*.TXT");
  Keys("Return");
  platform::TRect shown;
  ASSERT_TRUE(Desktop().GetWindowRect(search, shown));
  Screenshot("search-results", Around(shown, 8));
  Keys("Escape");
  ASSERT_TRUE(Watch().WaitGone("Varnoke 96", 100, kWait));
  ASSERT_TRUE(Desktop().WaitForFocusIn(probe.Window, kWait));

  Keys("ctrl+alt+f");
  ASSERT_NE(WaitForSearchWindow(kWait), 0u);
  ASSERT_TRUE(Desktop().WaitForFocusIn(search, kWait));
  // The search window's frame covers the probe's frame exactly.
  platform::TRect target;
  platform::TRect over;
  ASSERT_TRUE(Desktop().GetWindowRect(probe.Window, target));
  ASSERT_TRUE(Desktop().GetWindowRect(search, over));
  EXPECT_NEAR(over.Left, target.Left, 1);
  EXPECT_NEAR(over.Top, target.Top, 1);
  EXPECT_NEAR(over.Right, target.Right, 1);
  EXPECT_NEAR(over.Bottom, target.Bottom, 1);

  Type("*CODE-*");
  Keys("Return");
  int before = 0;
  probe.Text(&before);
  Keys("Return");
  ASSERT_TRUE(Watch().WaitGone("Varnoke 96", 100, kWait));
  // The line edit, started after the program switched accessibility on,
  // took the whole path at once through the accessibility bus: typed, its
  // text would have changed once for every character.
  int after = 0;
  EXPECT_EQ(probe.Text(&after), Disk() + "/Straße/" + name);
  EXPECT_EQ(after - before, 1);
  EXPECT_EQ(Desktop().ActiveWindow(), probe.Window);

  // The tray icon shows the window again where it stood; Copy puts the
  // host path on the clipboard.
  int x = 0;
  int y = 0;
  ASSERT_TRUE(WaitForTrayIcon(kWait, &x, &y));
  Click(x, y);
  ASSERT_NE(WaitForSearchWindow(kWait), 0u);
  platform::TRect again;
  ASSERT_TRUE(Desktop().GetWindowRect(search, again));
  EXPECT_EQ(again, over);
  ASSERT_TRUE(Desktop().WaitForFocusIn(search, kWait));
  Keys("Return");  // the same search again, then the grid has the keys
  Keys("ctrl+c");
  int status = -1;
  const std::string clipboard = RunCommand({"xclip", "-o", "-selection", "clipboard"}, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(clipboard, Disk() + "/Straße/" + name);
  EXPECT_EQ(Stop(SIGTERM), 0);
}

TEST_F(ResidentProgram, ShowsLinuxPathsAsTheUserTypesAndTheDriveFormOnRequest) {
  for (const char* file : {"Report 2024.pdf", "Invoice-March.PDF", "Meetings/Minutes 03-12.pdf",
                           "Meetings/Agenda.pdf", "Straße/Übersicht Ärzte.pdf", "Thesis/Thesis.pdf",
                           "Thesis/figures/Results-Chart.pdf", "notes.txt"})
    MakeFile(std::string("home/anna/Documents/") + file);
  // "~" in a pattern is the home of the user who runs the program.
  const char* oldHome = std::getenv("HOME");
  const std::string home = oldHome != nullptr ? oldHome : "";
  ::setenv("HOME", (Disk() + "/home/anna").c_str(), 1);
  Start();
  ::setenv("HOME", home.c_str(), 1);
  ASSERT_TRUE(WaitForTrayIcon(kWait)) << Stderr();
  Keys("ctrl+alt+f");
  const std::uint64_t search = WaitForSearchWindow(kWait);
  ASSERT_NE(search, 0u) << Stderr();
  ASSERT_TRUE(Desktop().WaitForFocusIn(search, kWait));
  // A Linux path, and no Enter: the rows follow the typing. The first row
  // is selected; Tab takes the keys to the grid past the Find button.
  Type("~/documents/*.pdf");
  Keys("Tab");
  Keys("Tab");
  const std::string documents = Disk() + "/home/anna/Documents/";
  const std::string copied = ClipboardOnceIt("ctrl+c", [&](const std::string& text) {
    return text.rfind(documents, 0) == 0 && text.size() > 4 &&
           (text.substr(text.size() - 4) == ".pdf" || text.substr(text.size() - 4) == ".PDF");
  });
  EXPECT_FALSE(copied.empty()) << Stderr();
  platform::TRect shown;
  ASSERT_TRUE(Desktop().GetWindowRect(search, shown));
  Screenshot("search-results-linux", Around(shown, 8));

  // View | Drive Paths: the same rows in the database's form, kept for the
  // next start.
  Keys("alt+v");
  Keys("d");
  const std::string drive = ClipboardOnceIt("ctrl+c", [](const std::string& text) {
    return text.rfind("C:\\HOME\\ANNA\\DOCUMENTS\\", 0) == 0;
  });
  EXPECT_FALSE(drive.empty());
  Screenshot("search-results-drive", Around(shown, 8));
  EXPECT_EQ(Stop(SIGTERM), 0);
  EXPECT_EQ(Dword("DrivePaths"), 1u);
}

}  // namespace
}  // namespace varnoke::testing
