// varnoke-find as a whole process on the 1,000,000-entry tree of the scan
// benchmark, against plocate on the same tree and pattern with its own
// database built by its updatedb, in the same run.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "bench/bench_util.h"
#include "bench/disk_tree.h"
#include "bench/scanned_config.h"

namespace varnoke::bench {
namespace {

constexpr std::size_t kDirectories = 100'000;
constexpr std::size_t kFiles = 900'000;
constexpr int kRuns = 7;

int Main(const std::string& findBinary) {
  const char* base = std::getenv("VARNOKE_BENCH_DIR");
  const std::string folder = base != nullptr ? base : "/tmp/varnoke-bench";
  const TDiskTree tree = EnsureDiskTree(folder + "/scan", kDirectories, kFiles);

  // A configuration of its own: drive C: is the tree, typed fixed.
  const std::string config = folder + "/cli-config";
  if (!MakeScannedConfig(config, tree.root, findBinary)) return 1;
  const std::string env = "XDG_CONFIG_HOME='" + config + "' ";

  const std::string pattern = "*.TXT";
  // --file: this figure is the file's load and search, whatever program runs.
  const std::string find =
      env + "'" + findBinary + "' --file --count '" + pattern + "' > /dev/null";
  Shell(find);  // warm
  const double cliMs = BestMs(kRuns, [&] { Shell(find); });
  const std::string firstLine =
      env + "'" + findBinary + "' --file '" + pattern + "' | head -1 > /dev/null";
  const double firstLineMs = BestMs(kRuns, [&] { Shell(firstLine); });
  const double trueMs = BestMs(kRuns, [&] { Shell("true"); });  // the shell's own start

  double plocateMs = NAN;
  const std::string plocateDb = folder + "/cli-plocate.db";
  if (Shell("command -v plocate > /dev/null && command -v updatedb > /dev/null") &&
      Shell("updatedb --prunepaths '' --prunefs '' --prunenames '' -l no -U '" + tree.root +
            "' -o '" + plocateDb + "'")) {
    const std::string locate = "plocate -i -c -d '" + plocateDb + "' '" + pattern + "' > /dev/null";
    Shell(locate);
    plocateMs = BestMs(kRuns, [&] { Shell(locate); });
  }

  Report("cli_search_ms", cliMs);
  Report("cli_first_line_ms", firstLineMs);
  Report("shell_start_ms", trueMs);
  Report("plocate_ms", plocateMs);
  Report("cli_vs_plocate_ratio", cliMs / plocateMs);
  return 0;
}

}  // namespace
}  // namespace varnoke::bench

int main() {
  return varnoke::bench::Main(VARNOKE_FIND_BINARY);
}
