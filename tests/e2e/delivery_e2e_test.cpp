// The chosen path put into real applications that nobody here wrote, as a
// user meets them: GTK 3 fields filled whole through the accessibility bus
// whatever part of their text was selected, a GTK button that takes no
// path (the file opens with the desktop's default application instead), a
// Tk entry off the bus that gets the path typed, and an application that
// dies while the search window is up.
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "tests/e2e/program_fixture.h"
#include "tests/support/disk_files.h"
#include "tests/x11/desktop_fixture.h"
#include "tests/x11/probe_window.h"

namespace varnoke::testing {
namespace {

constexpr int kWait = 15000;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class DeliveryTest : public ProgramTest {
 protected:
  void TearDown() override {
    if (registered_) {
      if (oldDataHome_.has_value()) {
        ::setenv("XDG_DATA_HOME", oldDataHome_->c_str(), 1);
      } else {
        ::unsetenv("XDG_DATA_HOME");
      }
    }
    ProgramTest::TearDown();
  }

  // The window titled title, once it shows, with the keyboard focus.
  std::uint64_t FocusWindowTitled(const std::string& title) {
    const std::uint64_t window = Watch().WaitForTitle(title, kWait);
    if (window == 0 || !Watch().WaitViewable(window, true, kWait)) return 0;
    Desktop().SetForegroundWindow(window);
    return Desktop().WaitForFocusIn(window, kWait) ? window : 0;
  }

  // The hot key over the window that has the focus, pattern searched for,
  // and its first result chosen.
  void Choose(const std::string& pattern) {
    Keys("ctrl+alt+f");
    const std::uint64_t search = WaitForSearchWindow(kWait);
    ASSERT_NE(search, 0u) << Stderr();
    ASSERT_TRUE(Desktop().WaitForFocusIn(search, kWait));
    Type(pattern);
    Keys("Return");
    Keys("Return");
    ASSERT_TRUE(Watch().WaitGone("Varnoke 96", 100, kWait));
  }

  // Presses Return in window once it has the focus back, and reads what
  // its program prints for it.
  static std::string ReturnAndRead(TChild& program, std::uint64_t window,
                                   platform::TDesktop& desktop) {
    EXPECT_TRUE(desktop.WaitForFocusIn(window, kWait));
    Keys("Return");
    std::string printed;
    EXPECT_TRUE(program.ReadLine(printed, kWait));
    return printed;
  }

  // A program registered with the desktop as the default application for
  // plain text (a desktop entry and mimeapps.list, in the test's own
  // folders), which notes the files it is asked to open.
  std::string RegisterOpener() {
    const std::string data = Install() + "/../data";
    const std::string config = std::getenv("XDG_CONFIG_HOME");
    const std::string opener = data + "/opener";
    const std::string opened = data + "/opened";
    ::mkdir(data.c_str(), 0755);
    ::mkdir((data + "/applications").c_str(), 0755);
    std::ofstream(opener) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > " << opened << ".new && mv "
                          << opened << ".new " << opened << "\n";
    ::chmod(opener.c_str(), 0755);
    std::ofstream(data + "/applications/varnoke-test-opener.desktop")
        << "[Desktop Entry]\nType=Application\nName=Test opener\nExec=" << opener
        << " %f\nMimeType=text/plain;\nNoDisplay=true\n";
    std::ofstream(config + "/mimeapps.list")
        << "[Default Applications]\ntext/plain=varnoke-test-opener.desktop\n";
    if (const char* old = std::getenv("XDG_DATA_HOME")) oldDataHome_ = old;
    registered_ = true;
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    return opened;
  }

 private:
  bool registered_ = false;
  std::optional<std::string> oldDataHome_;
};

TEST_F(DeliveryTest, GtkFieldsTakeTheWholePathAndAButtonOpensTheFile) {
  MakeFiles("docs", 5);
  MakeFile("Straße/Ünïcode-Жж-€.txt");
  // Some text in it, or the desktop takes it for an empty file, not text.
  MakeFileBelow(Disk(), "docs/opened-by-default.txt", "notes\n");
  const std::string opened = RegisterOpener();
  Start();
  ASSERT_TRUE(WaitForTrayIcon(kWait)) << Stderr();

  // An entry with only part of its text selected: typing would replace the
  // ".txt" alone.
  {
    TChild zenity({"/usr/bin/zenity", "--entry", "--title=Name it",
                   "--text=Name:", "--entry-text=draft-name.txt"});
    const std::uint64_t window = FocusWindowTitled("Name it");
    ASSERT_NE(window, 0u);
    Keys("End");
    for (int i = 0; i < 4; ++i)
      Keys("shift+Left");
    Choose("*CODE-*");
    EXPECT_EQ(ReturnAndRead(zenity, window, Desktop()), Disk() + "/Straße/Ünïcode-Жж-€.txt");
  }

  // The GTK 3 save dialog, its name field holding a name with "draft-name"
  // selected.
  {
    TChild zenity({"/usr/bin/zenity", "--file-selection", "--save", "--title=Save the draft",
                   "--filename=" + Disk() + "/docs/draft-name.txt"});
    const std::uint64_t window = FocusWindowTitled("Save the draft");
    ASSERT_NE(window, 0u);
    platform::TRect dialog;
    ASSERT_TRUE(FramedRect(window, dialog));
    Screenshot("save-dialog-before", Around(dialog, 8));
    Choose("FILE3.TXT");
    Screenshot("save-dialog-after", Around(dialog, 8));
    EXPECT_EQ(ReturnAndRead(zenity, window, Desktop()), Disk() + "/docs/file3.txt");
  }

  // A question whose focus is a button: no field waits, so the choice
  // opens the file with the desktop's default application.
  {
    TChild zenity({"/usr/bin/zenity", "--question", "--title=Go on", "--text=Go on?"});
    ASSERT_NE(FocusWindowTitled("Go on"), 0u);
    Choose("OPENED-BY-*");
    std::string got;
    for (int tries = 0; tries < kWait / 50 && got.empty(); ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      got = ReadFile(opened);
    }
    EXPECT_EQ(got, Disk() + "/docs/opened-by-default.txt\n");
  }
  EXPECT_EQ(Stop(SIGTERM), 0) << Stderr();
}

TEST_F(DeliveryTest, ATkEntryGetsThePathTypedAndADeadTargetTheClipboard) {
  MakeFiles("docs", 5);
  Start();
  ASSERT_TRUE(WaitForTrayIcon(kWait)) << Stderr();

  // Tk is not on the accessibility bus: the path is typed, as always.
  {
    const std::string script = Install() + "/../field.tcl";
    std::ofstream(script) << "wm title . {Tk field}; entry .e -width 60; pack .e; focus .e\n"
                          << "bind .e <Return> {puts [.e get]; flush stdout; exit}\n";
    TChild wish({"/usr/bin/wish", script});
    const std::uint64_t window = FocusWindowTitled("Tk field");
    ASSERT_NE(window, 0u);
    Choose("FILE2.TXT");
    EXPECT_EQ(ReturnAndRead(wish, window, Desktop()), Disk() + "/docs/file2.txt");
  }

  // The target dies while the search window is up: the choice neither
  // hangs nor goes anywhere else; the path is on the clipboard and the
  // user is told.
  {
    TProbeWindow probe(Display(), Desktop(), "old text");
    Keys("ctrl+alt+f");
    const std::uint64_t search = WaitForSearchWindow(kWait);
    ASSERT_NE(search, 0u) << Stderr();
    ASSERT_TRUE(Desktop().WaitForFocusIn(search, kWait));
    Type("FILE4.TXT");
    Keys("Return");
    ASSERT_EQ(::kill(probe.Pid(), SIGKILL), 0);
    Keys("Return");
    ASSERT_TRUE(Watch().WaitGone("Varnoke 96", 100, kWait));
  }
  const std::string path = Disk() + "/docs/file4.txt";
  std::string told;
  for (int tries = 0; tries < kWait / 50; ++tries) {
    told = Stderr();
    if (told.find("It is on the clipboard instead") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_NE(told.find("It is on the clipboard instead: " + path), std::string::npos) << told;
  int status = -1;
  EXPECT_EQ(RunCommand({"xclip", "-o", "-selection", "clipboard"}, &status), path);
  EXPECT_EQ(Stop(SIGTERM), 0) << Stderr();
}

}  // namespace
}  // namespace varnoke::testing
