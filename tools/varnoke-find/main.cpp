// varnoke-find: finds files and directories by name in Varnoke's database.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "live/live_protocol.h"
#include "platform/hive/hive_file.h"
#include "tools/varnoke-find/find_options.h"
#include "tools/varnoke-find/find_program.h"

namespace {

std::atomic<bool> gInterrupted{false};

extern "C" void OnInterrupt(int) {
  gInterrupted = true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace varnoke::find;
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const std::optional<TFindOptions> options = ParseFindOptions(args, error);
  if (!options) {
    std::fprintf(stderr, "varnoke-find: %s\n\n%s", error.c_str(), kFindUsage);
    return kFailed;
  }
  if (options->Help) {
    std::fputs(kFindUsage, stdout);
    return kRowsPrinted;
  }
  if (options->Version) {
    std::printf("varnoke-find %s\n", VARNOKE_VERSION);
    return kRowsPrinted;
  }
  // Ctrl+C during a scan abandons it cleanly, leaving the saved database
  // as it was; a search it simply ends.
  if (options->Scan) {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
  }
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  return RunFind(*options, stdout, stderr, gInterrupted,
                 varnoke::live::LiveSocketName(varnoke::platform::DefaultHivePath()));
}
