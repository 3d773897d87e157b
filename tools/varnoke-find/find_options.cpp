#include "tools/varnoke-find/find_options.h"

namespace varnoke::find {

const char* const kFindUsage =
    "usage: varnoke-find [--sort name|path] [--count] [--host] [-0] [--file] [--verbose] PATTERN\n"
    "       varnoke-find --scan\n"
    "\n"
    "Finds files and directories by name in Varnoke's database of every fixed\n"
    "drive, and prints their full paths. The running program answers from its\n"
    "current tree; when it does not run, the saved database file is read.\n"
    "\n"
    "PATTERN  *.TXT          every file whose name matches (* and ? are wildcards)\n"
    "         C:\\DIR\\*.INI   the files below C:\\DIR that match\n"
    "         .SYS*          every directory whose name matches\n"
    "\n"
    "  --scan         scan the drives anew and save the database\n"
    "  --sort name    sort the rows by name\n"
    "  --sort path    sort the rows by path\n"
    "  --count        print only the number of rows\n"
    "  --host         print paths as this machine names them (/home/...)\n"
    "  -0             end each line with a NUL character\n"
    "  --file         read the database file even when the program runs\n"
    "  --verbose      say on stderr whether the program or the file answered\n"
    "  --help         show this text\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 when rows were printed, 1 when there were none, 2 on errors.\n";

std::optional<TFindOptions> ParseFindOptions(const std::vector<std::string>& args,
                                             std::string& error) {
  TFindOptions options;
  bool onlyPattern = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!onlyPattern && arg.size() > 1 && arg[0] == '-') {
      if (arg == "--") {
        onlyPattern = true;
      } else if (arg == "--scan") {
        options.Scan = true;
      } else if (arg == "--help" || arg == "-h") {
        options.Help = true;
      } else if (arg == "--version") {
        options.Version = true;
      } else if (arg == "--count" || arg == "-c") {
        options.Count = true;
      } else if (arg == "--file") {
        options.FileOnly = true;
      } else if (arg == "--verbose" || arg == "-v") {
        options.Verbose = true;
      } else if (arg == "--host") {
        options.Host = true;
      } else if (arg == "-0" || arg == "--null") {
        options.NulEnds = true;
      } else if (arg == "--sort" || arg.rfind("--sort=", 0) == 0) {
        std::string order;
        if (arg == "--sort") {
          if (i + 1 == args.size()) {
            error = "--sort needs an order: name or path";
            return std::nullopt;
          }
          order = args[++i];
        } else {
          order = arg.substr(7);
        }
        if (order == "name") {
          options.Sort = TSortOrder::Name;
        } else if (order == "path") {
          options.Sort = TSortOrder::Path;
        } else {
          error = "--sort takes name or path, not '" + order + "'";
          return std::nullopt;
        }
      } else {
        error = "unknown option '" + arg + "'";
        return std::nullopt;
      }
      continue;
    }
    if (options.Pattern) {
      error = "only one pattern, please (quote it so that the shell leaves its * and ? alone)";
      return std::nullopt;
    }
    options.Pattern = arg;
  }
  if (options.Help || options.Version) return options;
  if (options.Scan && options.Pattern) {
    error = "--scan takes no pattern";
    return std::nullopt;
  }
  if (!options.Scan && !options.Pattern) {
    error = "no pattern given";
    return std::nullopt;
  }
  // An empty pattern finds nothing; most often it is a variable that was
  // never set, which the caller should hear about.
  if (options.Pattern && options.Pattern->empty()) {
    error = "the pattern is empty";
    return std::nullopt;
  }
  return options;
}

}  // namespace varnoke::find
