// The resident program on a Wayland desktop of its own (tests/desktop/
// wayland-session: headless mutter with XWayland, its own buses), keys
// pressed through mutter's remote-desktop interface: the pop-up over a
// native Wayland window by `varnoke --popup` and by the desktop portal's
// global shortcut, the chosen path in the native GTK field that was active,
// the hot key through KDE's shortcut service, GNOME's custom keybinding,
// and the tray icon as a StatusNotifierItem.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <thread>

#include "platform/a11y/accessibility_bus.h"
#include "platform/a11y/focus_lookup.h"
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

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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
  // platform), once it has the keyboard; the line edit's text goes to
  // textFile whenever it changes, when one is named.
  std::unique_ptr<TChild> NativeWindow(const std::string& platform = "wayland",
                                       const std::string& textFile = "") {
    const TEnv qpa("QT_QPA_PLATFORM", platform);
    std::vector<std::string> argv{TestProgram("line-edit-probe"), "--text", "native text", "--size",
                                  "640x420"};
    if (!textFile.empty()) argv.insert(argv.end(), {"--text-file", textFile});
    auto probe = std::make_unique<TChild>(argv);
    std::string rest;
    EXPECT_TRUE(probe->ReadLineStarting("focused", rest, kWait));
    return probe;
  }

  // A native Wayland GTK 3 window (zenity's entry dialog) titled title,
  // its entry holding text; off the accessibility bus unless onTheBus.
  static std::unique_ptr<TChild> NativeGtkEntry(const std::string& title, const std::string& text,
                                                bool onTheBus) {
    const TEnv backend("GDK_BACKEND", "wayland");
    std::optional<TEnv> noBridge;
    if (!onTheBus) noBridge.emplace("NO_AT_BRIDGE", "1");
    return std::make_unique<TChild>(std::vector<std::string>{
        "/usr/bin/zenity", "--entry", "--title=" + title, "--text=Name:", "--entry-text=" + text});
  }

  // True when the application of process has a focused text field in its
  // active window, as the accessibility bus shows it now.
  bool FieldFocusedIn(pid_t process) {
    if (bus_ == nullptr)
      bus_ = platform::OpenAccessibilityBus(platform::SessionBusAddress(),
                                            platform::DeadlineIn(kWait));
    if (bus_ == nullptr) return false;
    // No events: only what its windows show now counts.
    platform::TFocusEvents none;
    return lookup_.Find(*bus_, none, process, ::getpid(), platform::DeadlineIn(300)).Kind ==
           platform::TFocusKind::EditableText;
  }

  // `varnoke --popup` over whatever has the focus; pattern searched for,
  // the first result chosen. A picture of the screen, when named, with the
  // results up.
  void PopupAndChoose(const std::string& pattern, const std::string& picture = "") {
    ASSERT_EQ(Popup(), 0);
    const std::uint64_t search = WaitForSearchWindow(kWait);
    ASSERT_NE(search, 0u) << Stderr();
    ASSERT_TRUE(Desktop().WaitForFocusIn(search, kWait));
    // Keys come through the compositor a moment after XWayland names the
    // focus.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(keys_->Type(pattern));
    ASSERT_TRUE(keys_->Keys("Return"));
    if (!picture.empty()) WaylandScreenshot(picture, {0, 0, 1280, 800});
    ASSERT_TRUE(keys_->Keys("Return"));
    ASSERT_TRUE(Watch().WaitGone("Varnoke 96", 100, kWait));
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

  // What GSettings holds under key of schema (GSettings' own text of it).
  static std::string Setting(const std::string& schema, const std::string& key) {
    std::string text = RunCommand({"gsettings", "get", schema, key});
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }
  static std::string Keybinding(const std::string& key) {
    return Setting(std::string(kCustomSchema) + ":" + kOurKeybinding, key);
  }
  // Waits until check holds.
  static bool WaitUntil(const std::function<bool()>& check) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWait);
    while (!check()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
  }

  // The desktop's side of the portal: the test backend, named for this
  // desktop by a .portal file, and the real front end.
  void StartPortal(const std::vector<std::string>& backendArgs) {
    const std::string portals = Install() + "/portals";
    ::mkdir(portals.c_str(), 0755);
    std::ofstream(portals + "/varnoketest.portal")
        << "[portal]\nDBusName=org.freedesktop.impl.portal.desktop.varnoketest\n"
           "Interfaces=org.freedesktop.impl.portal.GlobalShortcuts;\nUseIn=varnoketest\n";
    desktop_ = std::make_unique<TEnv>("XDG_CURRENT_DESKTOP", "varnoketest");
    portalDir_ = std::make_unique<TEnv>("XDG_DESKTOP_PORTAL_DIR", portals);
    std::vector<std::string> argv{TestProgram("portal-test-backend")};
    argv.insert(argv.end(), backendArgs.begin(), backendArgs.end());
    backend_ = std::make_unique<TChild>(argv);
    std::string rest;
    ASSERT_TRUE(backend_->ReadLineStarting("ready", rest, kWait));
    frontEnd_ =
        std::make_unique<TChild>(std::vector<std::string>{"/usr/libexec/xdg-desktop-portal"});
    int status = -1;
    RunCommand({"gdbus", "wait", "--session", "--timeout", "10", "org.freedesktop.portal.Desktop"},
               &status);
    ASSERT_EQ(status, 0) << "the portal's front end did not come up";
  }

  static constexpr char kCustomSchema[] =
      "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
  static constexpr char kOurKeybinding[] =
      "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/varnoke/";

  std::unique_ptr<platform::TBusConnection> bus_;
  platform::TFocusLookup lookup_;
  std::unique_ptr<TRemoteDesktop> keys_;
  std::unique_ptr<TChild> tray_;
  std::unique_ptr<TEnv> desktop_;
  std::unique_ptr<TEnv> portalDir_;
  std::unique_ptr<TChild> backend_;
  std::unique_ptr<TChild> frontEnd_;
};

TEST_F(WaylandProgram, ThePopupCommandCallsTheWindowUpCentredWithTheFocus) {
  MakeFiles("docs", 20);
  MakeFile("deep/Wayland-Target.txt");
  ASSERT_TRUE(StartWithTray()) << Stderr();
  const std::string fieldText = Install() + "/../native-field.txt";
  const auto native = NativeWindow("wayland", fieldText);

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

  // The keys of the desktop reach the search box (a moment after XWayland
  // names the focus, the compositor hands the keyboard over).
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(keys_->Type("*TARGET*"));
  ASSERT_TRUE(keys_->Keys("Return"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  WaylandScreenshot("wayland-popup", Around(shown, 8));
  ASSERT_TRUE(keys_->Keys("Return"));
  ASSERT_TRUE(Watch().WaitGone("Varnoke 96", 100, kWait));
  // The native line edit, on the accessibility bus, holds the path alone.
  const std::string path = Disk() + "/deep/Wayland-Target.txt";
  EXPECT_TRUE(WaitUntil([&] { return ReadFile(fieldText) == path; })) << ReadFile(fieldText);

  // The tray's click shows it again, at the same place and size.
  tray_->Send("activate");
  ASSERT_NE(WaitForSearchWindow(kWait), 0u);
  platform::TRect again;
  ASSERT_TRUE(FramedRect(search, again));
  EXPECT_EQ(again, shown);
  ASSERT_TRUE(Desktop().WaitForFocusIn(search, kWait));
  // Keys come through the compositor a moment after XWayland names the
  // focus.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
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
  EXPECT_EQ(Stop(SIGTERM), 0) << Stderr();
}

// zenity's entry on Wayland: the path takes the place of its whole text
// through the accessibility bus; typed keys could not reach it. A field the
// user left for a window off the bus gets nothing: the path waits on the
// clipboard.
TEST_F(WaylandProgram, TheChosenPathFillsTheNativeGtkFieldThatWasActive) {
  MakeFiles("docs", 5);
  MakeFile("deep/Wayland-Target.txt");
  const std::string path = Disk() + "/deep/Wayland-Target.txt";
  ASSERT_TRUE(StartWithTray()) << Stderr();
  const auto named = NativeGtkEntry("Name it", "draft-name.txt", true);
  ASSERT_TRUE(WaitUntil([&] { return FieldFocusedIn(named->Pid()); }));

  {
    const auto away = NativeGtkEntry("Off the bus", "elsewhere", false);
    ASSERT_TRUE(WaitUntil([&] { return !FieldFocusedIn(named->Pid()); }));
    PopupAndChoose("*TARGET*");
    EXPECT_TRUE(WaitForStderr("It is on the clipboard instead: " + path)) << Stderr();
  }

  // Back in the first window once the other has gone.
  ASSERT_TRUE(WaitUntil([&] { return FieldFocusedIn(named->Pid()); }));
  PopupAndChoose("*TARGET*", "wayland-popup-over-gtk");
  ASSERT_TRUE(WaitUntil([&] { return FieldFocusedIn(named->Pid()); }));
  ASSERT_TRUE(keys_->Keys("Return"));
  std::string printed;
  ASSERT_TRUE(named->ReadLine(printed, kWait));
  EXPECT_EQ(printed, path);
  EXPECT_EQ(Stop(SIGTERM), 0) << Stderr();
}

TEST_F(WaylandProgram, ThePortalsGlobalShortcutCallsTheWindowUp) {
  MakeFiles("docs", 5);
  StartPortal({});
  Start();
  std::string rest;
  ASSERT_TRUE(backend_->ReadLineStarting("session ", rest, kWait)) << Stderr();
  std::string trigger;
  ASSERT_TRUE(backend_->ReadLineStarting("bound popup ", trigger, kWait)) << Stderr();
  EXPECT_EQ(trigger, "CTRL+ALT+f");  // from the settings HotKey and HotKeyShift
  const auto native = NativeWindow();
  ASSERT_TRUE(backend_->Send("activate"));
  ASSERT_TRUE(backend_->ReadLineStarting("ok", rest, kWait));
  const std::uint64_t search = WaitForSearchWindow(kWait);
  ASSERT_NE(search, 0u) << Stderr();
  EXPECT_TRUE(Desktop().WaitForFocusIn(search, kWait));
  EXPECT_EQ(Stderr().find("is in use"), std::string::npos) << Stderr();
  // The session goes with the program: the desktop lets the key go.
  EXPECT_EQ(Stop(SIGTERM), 0);
  EXPECT_TRUE(backend_->ReadLineStarting("closed ", rest, kWait));
}

TEST_F(WaylandProgram, AKeyTheDesktopRefusesIsToldOnce) {
  StartPortal({"--refuse"});
  Start();
  std::string trigger;
  ASSERT_TRUE(backend_->ReadLineStarting("bound popup ", trigger, kWait)) << Stderr();
  EXPECT_TRUE(WaitForStderr("The hot key Ctrl Alt F is in use by another program")) << Stderr();
  EXPECT_EQ(Stop(SIGTERM), 0);
  const std::string told = Stderr();
  EXPECT_EQ(told.find("is in use"), told.rfind("is in use")) << told;
}

// KDE's service grabs the key on XWayland here (the only place its X11
// part can): pressed in an XWayland window, it calls the window up over
// that window, as on X11.
TEST_F(WaylandProgram, KdesShortcutServiceCallsTheWindowUp) {
  MakeFiles("docs", 5);
  desktop_ = std::make_unique<TEnv>("XDG_CURRENT_DESKTOP", "KDE");
  std::unique_ptr<TChild> service;
  {
    const TEnv qpa("QT_QPA_PLATFORM", "xcb");
    service = std::make_unique<TChild>(std::vector<std::string>{"/usr/bin/kglobalaccel5"});
  }
  int status = -1;
  RunCommand({"gdbus", "wait", "--session", "--timeout", "10", "org.kde.kglobalaccel"}, &status);
  ASSERT_EQ(status, 0) << "kglobalaccel5 did not come up";
  Start();
  // Ctrl+Alt+F as one Qt key combination: 0x46 | Ctrl 0x04000000 | Alt 0x08000000.
  ASSERT_TRUE(WaitUntil([] {
    return RunCommand({"gdbus", "call", "--session", "--dest", "org.kde.kglobalaccel",
                       "--object-path", "/kglobalaccel", "--method",
                       "org.kde.KGlobalAccel.shortcut",
                       "['varnoke', 'popup', 'Varnoke', 'Call up the search window']"}) ==
           "([201326662],)\n";
  })) << Stderr();
  const auto window = NativeWindow("xcb");
  // The service answers with the shortcut before its grab on XWayland is
  // in place, and keys right after XWayland names the focus may come before
  // it: on a busy machine a first press can be lost, as a person's would
  // be, and like a person the test presses again.
  std::uint64_t search = 0;
  for (int attempt = 0; attempt < 5 && search == 0; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(keys_->Keys("ctrl+alt+f"));
    search = WaitForSearchWindow(2000);
  }
  ASSERT_NE(search, 0u) << Stderr();
  EXPECT_TRUE(Desktop().WaitForFocusIn(search, kWait));
  EXPECT_EQ(Stop(SIGTERM), 0);
}

TEST_F(WaylandProgram, GnomesKeybindingIsWrittenReplacedAndRemovedByExit) {
  MakeFiles("docs", 5);
  Start();
  ASSERT_TRUE(WaitUntil([] { return Keybinding("binding") == "'<Control><Alt>f'"; })) << Stderr();
  EXPECT_EQ(Keybinding("name"), "'Varnoke'");
  const std::string command = Keybinding("command");
  EXPECT_EQ(command, "\"'" + std::string(VARNOKE_PROGRAM) + "' --popup\"");
  EXPECT_NE(Setting("org.gnome.settings-daemon.plugins.media-keys", "custom-keybindings")
                .find(kOurKeybinding),
            std::string::npos);

  // The command, as GNOME runs it on the key, calls the window up.
  int status = -1;
  RunCommand({"sh", "-c", command.substr(1, command.size() - 2)}, &status);
  EXPECT_EQ(status, 0);
  const std::uint64_t search = WaitForSearchWindow(kWait);
  ASSERT_NE(search, 0u) << Stderr();
  ASSERT_TRUE(Desktop().WaitForFocusIn(search, kWait));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));

  // A new key in the hot-key dialog replaces the keybinding's; the dialog
  // says where GNOME keeps it.
  ASSERT_TRUE(keys_->Keys("alt+f"));
  ASSERT_TRUE(keys_->Keys("k"));
  const std::uint64_t dialog = Watch().WaitForViewable("Assign Hot Key", 50, kWait);
  ASSERT_NE(dialog, 0u) << Stderr();
  ASSERT_TRUE(Desktop().WaitForFocusIn(dialog, kWait));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(keys_->Keys("ctrl+shift+F9"));
  platform::TRect rect;
  ASSERT_TRUE(FramedRect(dialog, rect));
  WaylandScreenshot("wayland-hot-key-dialog", Around(rect, 8));
  ASSERT_TRUE(keys_->Keys("Return"));
  ASSERT_TRUE(Watch().WaitGone("Assign Hot Key", 50, kWait));
  EXPECT_TRUE(WaitUntil([] { return Keybinding("binding") == "'<Control><Shift>F9'"; }));

  // File | Exit takes it away.
  Desktop().SetForegroundWindow(search);
  ASSERT_TRUE(Desktop().WaitForFocusIn(search, kWait));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(keys_->Keys("alt+f"));
  ASSERT_TRUE(keys_->Keys("x"));
  const std::uint64_t question = Watch().WaitForViewable("Varnoke", 50, kWait);
  ASSERT_NE(question, 0u);
  ASSERT_TRUE(Desktop().WaitForFocusIn(question, kWait));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(keys_->Keys("Return"));  // Yes
  EXPECT_EQ(WaitExit(Pid(), kWait), 0);
  EXPECT_EQ(Setting("org.gnome.settings-daemon.plugins.media-keys", "custom-keybindings")
                .find(kOurKeybinding),
            std::string::npos);
  EXPECT_EQ(Keybinding("binding"), "''");
}

}  // namespace
}  // namespace varnoke::testing
