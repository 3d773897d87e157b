// varnoke-find answered by a running program that holds the 1,000,000-entry
// tree of the scan benchmark, against plocate on the same tree in the same
// run (or, without plocate, against varnoke-find reading the file).
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "bench/bench_util.h"
#include "bench/disk_tree.h"
#include "bench/scanned_config.h"
#include "db/machine_services.h"
#include "db/memory_db.h"
#include "live/live_protocol.h"
#include "live/live_server.h"

namespace varnoke::bench {
namespace {

constexpr std::size_t kDirectories = 100'000;
constexpr std::size_t kFiles = 900'000;
constexpr int kRuns = 7;

int Main(const std::string& findBinary) {
  const char* base = std::getenv("VARNOKE_BENCH_DIR");
  const std::string folder = base != nullptr ? base : "/tmp/varnoke-bench";
  const TDiskTree tree = EnsureDiskTree(folder + "/scan", kDirectories, kFiles);

  const std::string config = folder + "/live-config";
  if (!MakeScannedConfig(config, tree.root, findBinary)) return 1;
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);  // for this process's services too
  // The sockets' folder, private to this run, for both sides.
  const std::string runtime = config + "/runtime";
  ::mkdir(runtime.c_str(), 0700);
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  const std::string env = "XDG_CONFIG_HOME='" + config + "' ";

  TMachineServices host;
  TMemoryDB db(host.Services());
  if (!db.LoadFromFile(config + "/install/memdb.dat")) return 1;
  const std::unique_ptr<live::TLiveServer> server =
      live::TLiveServer::Start(db, live::LiveSocketName(host.Hive.Path()));
  if (server == nullptr) return 1;

  const auto timed = [&](const std::string& args) {
    const std::string command = env + "'" + findBinary + "' " + args + " > /dev/null";
    Shell(command);  // warm
    return BestMs(kRuns, [&] { Shell(command); });
  };
  const double liveMs = timed("--count '*.TXT'");
  const double liveSubstringMs = timed("--count '*ABC*'");
  const double fileMs = timed("--file --count '*.TXT'");

  double plocateMs = NAN;
  double plocateSubstringMs = NAN;
  const std::string plocateDb = folder + "/live-plocate.db";
  if (Shell("command -v plocate > /dev/null && command -v updatedb > /dev/null") &&
      Shell("updatedb --prunepaths '' --prunefs '' --prunenames '' -l no -U '" + tree.root +
            "' -o '" + plocateDb + "'")) {
    const auto locate = [&](const std::string& pattern) {
      const std::string command =
          "plocate -i -c -d '" + plocateDb + "' '" + pattern + "' > /dev/null";
      Shell(command);
      return BestMs(kRuns, [&] { Shell(command); });
    };
    plocateMs = locate("*.TXT");
    plocateSubstringMs = locate("abc");
  }

  Report("live_cli_search_ms", liveMs);
  Report("live_cli_substring_ms", liveSubstringMs);
  Report("file_cli_search_ms", fileMs);
  Report("live_cli_vs_file_ratio", liveMs / fileMs);
  Report("plocate_ms", plocateMs);
  Report("live_cli_vs_plocate_ratio", liveMs / plocateMs);
  Report("live_cli_substring_vs_plocate_ratio", liveSubstringMs / plocateSubstringMs);
  return 0;
}

}  // namespace
}  // namespace varnoke::bench

int main() {
  return varnoke::bench::Main(VARNOKE_FIND_BINARY);
}
