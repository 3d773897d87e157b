// The resident program's start with a saved database of a million entries,
// from the start of the process to its icon in the tray, and the memory it
// keeps, against a Qt program that only shows a tray icon, in the same
// run. Runs on a desktop of its own: started through desktop-session unless
// it already runs in one.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_util.h"
#include "bench/tree_fill.h"
#include "db/memory_db.h"
#include "platform/hive_file.h"
#include "platform/linux_data_files.h"
#include "settings/settings_store.h"
#include "tests/e2e/window_watch.h"
#include "tests/support/fake_drives.h"
#include "tests/support/memory_file_system.h"

namespace varnoke::bench {
namespace {

constexpr std::size_t kDirectories = 100'000;
constexpr std::size_t kFiles = 900'000;
constexpr int kRounds = 5;
constexpr auto kTimeout = std::chrono::seconds(60);

using TClock = std::chrono::steady_clock;

struct TStart {
  double readyMs = 0;
  long residentKb = 0;
  bool ok = false;
};

long ResidentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

pid_t Spawn(const std::string& program) {
  const pid_t child = ::fork();
  if (child == 0) {
    ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return child;
}

// Starts program and waits for its tray icon; the resident set is read
// once the program has settled after showing it.
TStart Measure(testing::TWindowWatch& watch, const std::string& program,
               const std::string& wmClass) {
  TStart start;
  const auto begin = TClock::now();
  const pid_t pid = Spawn(program);
  int x = 0;
  int y = 0;
  while (!(start.ok = watch.TrayIcon(wmClass, x, y)) && TClock::now() - begin < kTimeout)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  start.readyMs = std::chrono::duration<double, std::milli>(TClock::now() - begin).count();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  start.residentKb = ResidentKb(pid);
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return start;
}

// The settings, drive and installation folder of a user whose database
// was saved cleanly.
class TInstallation {
 public:
  explicit TInstallation(const std::string& root)
      : root_(root), hive_(root + "/config/varnoke/registry.reg") {
    for (const std::string folder : {"/config", "/config/varnoke", "/config/varnoke/dosdevices",
                                     "/install", "/disk"})
      ::mkdir((root + folder).c_str(), 0755);
    [[maybe_unused]] const int linked =
        ::symlink((root + "/disk").c_str(), (root + "/config/varnoke/dosdevices/c:").c_str()) +
        ::symlink(VARNOKE_HOOK_LIBRARY, (root + "/install/mhook.dll").c_str());
    std::ofstream(root + "/config/varnoke/registry.reg")
        << "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Varnoke\\Settings]\n"
        << "\"Directory\"=\"" << root << "/install\"\n"
        << "\"ShowSplash\"=dword:00000000\n"
        << "\"SaveSuccessful\"=dword:00000001\n"
        << "\"StartupOptions\"=dword:00000001\n"
        << "\"HotKey\"=dword:00000046\n"
        << "\"HotKeyShift\"=dword:00000005\n\n"
        << "[HKEY_LOCAL_MACHINE\\Software\\Varnoke\\Drives]\n"
        << "\"c:\"=\"fixed\"\n";
  }

  // Saves a generated tree as the database; its entry count.
  std::size_t SaveDatabase() {
    testing::TFakeDrives drives;
    testing::TMemoryFileSystem files;
    platform::TLinuxDataFiles dataFiles;
    settings::TSettingsStore settings(hive_);
    TMemoryDB db({drives, files, dataFiles, settings});
    FillGenerated(db, kDirectories, kFiles);
    db.LoadFromFile(root_ + "/install/memdb.dat");  // gives the database its file name
    db.SaveToFile();
    return db.DDList().FileCount() + db.DDList().DirectoryCount();
  }

  // Every start loads: the program clears the flag on loading, and a
  // benchmark run may end before it is set again.
  void MarkSaved() {
    settings::TSettingsStore settings(hive_);
    settings.WriteDWORDSetting(settings::SettingsKey, "SaveSuccessful", 1);
  }

 private:
  std::string root_;
  platform::THiveFile hive_;
};

int Main() {
  char folderTemplate[] = "/tmp/varnoke-bench-start-XXXXXX";
  const std::string root = ::mkdtemp(folderTemplate);
  ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  TInstallation installation(root);
  const std::size_t entries = installation.SaveDatabase();

  testing::TWindowWatch watch;
  std::vector<double> program;
  std::vector<double> bare;
  long programKb = 0;
  long bareKb = 0;
  bool ok = true;
  // Alternated, so that both see the same machine.
  for (int round = 0; round < kRounds; ++round) {
    installation.MarkSaved();
    const TStart ours = Measure(watch, VARNOKE_PROGRAM, "varnoke");
    const TStart peer = Measure(watch, VARNOKE_TRAY_ONLY, "varnoke-bare");
    ok = ok && ours.ok && peer.ok;
    program.push_back(ours.readyMs);
    bare.push_back(peer.readyMs);
    programKb = std::max(programKb, ours.residentKb);
    bareKb = std::max(bareKb, peer.residentKb);
  }
  std::sort(program.begin(), program.end());
  std::sort(bare.begin(), bare.end());
  const double programMs = program[program.size() / 2];
  const double bareMs = bare[bare.size() / 2];
  Report("startup_entries", static_cast<double>(entries));
  Report("startup_ready_ms", programMs);
  Report("startup_bare_ms", bareMs);
  Report("startup_vs_bare_ratio", programMs / bareMs);
  Report("resident_kb", static_cast<double>(programKb));
  Report("resident_bare_kb", static_cast<double>(bareKb));
  Report("resident_bytes_per_file",
         static_cast<double>(programKb - bareKb) * 1024.0 / static_cast<double>(entries));

  const std::string clean = "rm -rf -- '" + root + "'";
  if (std::system(clean.c_str()) != 0) return 1;
  if (!ok) std::fprintf(stderr, "startup_bench: a tray icon did not appear\n");
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace varnoke::bench

int main(int argc, char** argv) {
  if (std::getenv("VARNOKE_STARTUP_BENCH_SESSION") == nullptr) {
    if (std::system("command -v Xvfb >/dev/null 2>&1 && command -v icewm >/dev/null 2>&1") != 0) {
      std::printf("startup_bench: skipped, Xvfb or icewm is missing\n");
      return 0;
    }
    ::setenv("VARNOKE_STARTUP_BENCH_SESSION", "1", 1);
    ::setenv("VARNOKE_X11_WAIT", VARNOKE_X11_WAIT_PROGRAM, 1);
    std::vector<char*> args{const_cast<char*>(VARNOKE_DESKTOP_SESSION), const_cast<char*>("--")};
    for (int i = 0; i < argc; ++i)
      args.push_back(argv[i]);
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    std::perror("startup_bench: desktop-session");
    return 1;
  }
  return varnoke::bench::Main();
}
