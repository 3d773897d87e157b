#include "tests/e2e/program_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/hive/hive_file.h"
#include "settings/settings_store.h"
#include "tests/support/disk_files.h"
#include "tests/support/program_hive.h"
#include "tests/x11/desktop_fixture.h"

namespace varnoke::testing {
namespace {

std::string HivePath(const std::string& config) {
  return config + "/varnoke/registry.reg";
}

void RunOrFail(const std::vector<std::string>& argv) {
  int status = -1;
  RunCommand(argv, &status);
  ASSERT_EQ(status, 0) << argv[0] << " " << (argv.size() > 1 ? argv[1] : "");
}

}  // namespace

void ProgramTest::SetUp() {
  const std::string config = temp_.Path() + "/config";
  if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
    hadConfig_ = true;
    oldConfig_ = old;
  }
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  for (const std::string& folder :
       {config, config + "/varnoke", config + "/varnoke/dosdevices", Install(), Disk()})
    ::mkdir(folder.c_str(), 0755);
  ASSERT_EQ(::symlink(Disk().c_str(), (config + "/varnoke/dosdevices/c:").c_str()), 0);
  // What the installation step puts in the installation folder.
  ASSERT_EQ(::symlink(HookLibraryPath().c_str(), (Install() + "/mhook.dll").c_str()), 0);
  ASSERT_EQ(::symlink(VARNOKE_PROGRAM, (Install() + "/varnoke").c_str()), 0);
  std::ofstream(HivePath(config)) << ProgramHiveText(Install());
  display_ = platform::TX11Display::Open();
  ASSERT_NE(display_, nullptr) << "no display: run inside desktop-session";
  desktop_ = std::make_unique<platform::TDesktop>(*display_);
  watch_ = std::make_unique<TWindowWatch>();
}

void ProgramTest::TearDown() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (hadConfig_) {
    ::setenv("XDG_CONFIG_HOME", oldConfig_.c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
}

void ProgramTest::MakeFile(const std::string& relative) const {
  MakeFileBelow(Disk(), relative);
}

void ProgramTest::MakeFiles(const std::string& folder, int count) const {
  MakeFile(folder + "/file0.txt");
  for (int i = 1; i < count; ++i) {
    const std::string path = Disk() + "/" + folder + "/file" + std::to_string(i) + ".txt";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) ::close(fd);
  }
}

std::uint32_t ProgramTest::Dword(const std::string& name) const {
  platform::THiveFile hive(HivePath(temp_.Path() + "/config"));
  return settings::TSettingsStore(hive).ReadDWORDSetting(settings::SettingsKey, name);
}

void ProgramTest::SetDword(const std::string& name, std::uint32_t value) const {
  platform::THiveFile hive(HivePath(temp_.Path() + "/config"));
  settings::TSettingsStore(hive).WriteDWORDSetting(settings::SettingsKey, name, value);
}

pid_t ProgramTest::Start() {
  const std::string errors = temp_.Path() + "/stderr-" + std::to_string(runs_++);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(err, 2);
    ::execl(VARNOKE_PROGRAM, VARNOKE_PROGRAM, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  if (pid_ <= 0) pid_ = pid;
  return pid;
}

std::string ProgramTest::Stderr() const {
  std::ifstream in(temp_.Path() + "/stderr-" + std::to_string(runs_ - 1));
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool ProgramTest::WaitForTrayIcon(int timeoutMs, int* x, int* y) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int left = 0;
  int top = 0;
  // The icon has no title of its own to wait for; the tray is looked at
  // again every few milliseconds.
  while (!watch_->TrayIcon("varnoke", left, top)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (x != nullptr) *x = left;
  if (y != nullptr) *y = top;
  return true;
}

int ProgramTest::WaitExit(pid_t pid, int timeoutMs) {
  const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (fd >= 0) {
    pollfd ready{fd, POLLIN, 0};
    const int got = ::poll(&ready, 1, timeoutMs);
    ::close(fd);
    if (got <= 0) return -1;
  }
  int raw = 0;
  if (::waitpid(pid, &raw, 0) != pid) return -1;
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

int ProgramTest::Stop(int signal) {
  if (pid_ <= 0) return -1;
  ::kill(pid_, signal);
  const int status = WaitExit(pid_, 20000);
  pid_ = -1;
  return status;
}

void ProgramTest::Keys(const std::string& keys) {
  RunOrFail({"xdotool", "key", "--clearmodifiers", keys});
}

void ProgramTest::Type(const std::string& text) {
  RunOrFail({"xdotool", "type", "--delay", "20", text});
}

void ProgramTest::Click(int x, int y) {
  RunOrFail({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "1"});
}

std::uint64_t ProgramTest::WaitForSearchWindow(int timeoutMs) {
  // The tray icon's window bears the same title; the search window is the
  // big one.
  return watch_->WaitForViewable("Varnoke 96", 100, timeoutMs);
}

bool ProgramTest::FramedRect(std::uint64_t window, platform::TRect& rect) {
  // A window just shown is framed and placed by the window manager a moment
  // later; its frame extents tell that this happened.
  platform::TFrameExtents extents;
  for (int tries = 0; tries < 100 && !desktop_->GetFrameExtents(window, extents); ++tries)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return desktop_->GetWindowRect(window, rect);
}

void ProgramTest::Screenshot(const std::string& name, const platform::TRect& area) {
  ::mkdir(VARNOKE_SCREENSHOT_DIR, 0755);
  // Nothing tells another program that a window has finished painting; a
  // picture is taken once the screen has had time to settle.
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  RunOrFail({TestProgram("x11-screenshot"),
             std::string(VARNOKE_SCREENSHOT_DIR) + "/" + name + ".png", std::to_string(area.Left),
             std::to_string(area.Top), std::to_string(area.Right - area.Left),
             std::to_string(area.Bottom - area.Top)});
}

void ProgramTest::WaylandScreenshot(const std::string& name, const platform::TRect& area) {
  ::mkdir(VARNOKE_SCREENSHOT_DIR, 0755);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  RunOrFail({TestProgram("wayland-screenshot"),
             std::string(VARNOKE_SCREENSHOT_DIR) + "/" + name + ".png", std::to_string(area.Left),
             std::to_string(area.Top), std::to_string(area.Right - area.Left),
             std::to_string(area.Bottom - area.Top)});
}

platform::TRect Around(const platform::TRect& rect, int margin) {
  return {std::max(0, rect.Left - margin), std::max(0, rect.Top - margin), rect.Right + margin,
          rect.Bottom + margin};
}

}  // namespace varnoke::testing
