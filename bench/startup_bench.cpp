// The resident program's start with a saved database of a million entries
// and of ten million, from the start of the process to its icon in the tray,
// and the memory it keeps, against a Qt program that only shows a tray icon,
// in the same run. Runs on a desktop of its own: started through
// desktop-session unless it already runs in one.
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
#include "bench/desktop_session.h"
#include "bench/program_installation.h"
#include "tests/e2e/window_watch.h"

namespace varnoke::bench {
namespace {

// A tree, and how many times the program is started with it.
struct TScale {
  const char* Prefix;  // of the figures' names
  std::size_t Directories;
  std::size_t Files;
  int Rounds;
};

constexpr TScale kScales[] = {{"", 100'000, 900'000, 5}, {"10m_", 1'000'000, 10'000'000, 3}};
constexpr auto kTimeout = std::chrono::seconds(60);

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

// The figure's name at a scale: "startup_ms" at one million is
// "startup_10m_ms" at ten.
std::string Figure(const TScale& scale, const std::string& head, const std::string& tail) {
  return head + "_" + scale.Prefix + tail;
}

bool MeasureScale(const std::string& root, const TScale& scale, testing::TWindowWatch& watch) {
  // The installation starts afresh, settings included: the database of the
  // last scale would not match them.
  ::unlink((root + "/install/memdb.dat").c_str());
  TInstallation installation(root, VARNOKE_HOOK_LIBRARY);
  const std::size_t entries = installation.SaveDatabase(scale.Directories, scale.Files);
  std::vector<double> program;
  std::vector<double> bare;
  long programKb = 0;
  long bareKb = 0;
  bool ok = true;
  // Alternated, so that both see the same machine.
  for (int round = 0; round < scale.Rounds; ++round) {
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
  // At one million the names are those the figures have always had.
  const bool first = scale.Prefix[0] == '\0';
  Report(Figure(scale, "startup", "entries"), static_cast<double>(entries));
  Report(first ? "startup_ready_ms" : Figure(scale, "startup", "ms"), programMs);
  Report(Figure(scale, "startup", "bare_ms"), bareMs);
  Report(Figure(scale, "startup", "vs_bare_ratio"), programMs / bareMs);
  Report(Figure(scale, "resident", "kb"), static_cast<double>(programKb));
  Report(Figure(scale, "resident", "bare_kb"), static_cast<double>(bareKb));
  Report(Figure(scale, "resident", "bytes_per_file"),
         static_cast<double>(programKb - bareKb) * 1024.0 / static_cast<double>(entries));
  return ok;
}

int Main() {
  char folderTemplate[] = "/tmp/varnoke-bench-start-XXXXXX";
  const std::string root = ::mkdtemp(folderTemplate);
  ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  testing::TWindowWatch watch;
  bool ok = true;
  for (const TScale& scale : kScales)
    ok = MeasureScale(root, scale, watch) && ok;

  const std::string clean = "rm -rf -- '" + root + "'";
  if (std::system(clean.c_str()) != 0) return 1;
  if (!ok) std::fprintf(stderr, "startup_bench: a tray icon did not appear\n");
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace varnoke::bench

int main(int argc, char** argv) {
  int status = 0;
  if (!varnoke::bench::InDesktopSession(argc, argv, "startup_bench", true, &status)) return status;
  return varnoke::bench::Main();
}
