#include "tools/varnoke-find/find_options.h"

namespace varnoke::find {

const char* const kFindUsage =
    "usage: varnoke-find [--sort name|path] [--count] [--drive-form] [-0] [--file] [--verbose]\n"
    "                    PATTERN\n"
    "       varnoke-find --scan\n"
    "\n"
    "Finds files and directories by name in Varnoke's database of every fixed\n"
    "drive, and prints their full paths as this machine spells them. The running\n"
    "program answers from its current tree; when it does not run, the saved\n"
    "database file is read. Letter case never matters.\n"
    "\n"
    "PATTERN  '*.txt'          every file whose name matches (* and ? are wildcards)\n"
    "         '/etc/*.conf'    the files in /etc and every folder below it that match\n"
    "         '~/Documents/*'  the same below a folder of your home\n"
    "         'C:\\DIR\\*.INI'   the same below a folder in drive form\n"
    "         '.src*'          every directory whose name matches\n"
    "\n"
    "Names that begin with a full stop (hidden files such as .bashrc) are not in\n"
    "the database, nor is anything below them.\n"
    "\n"
    "  --scan         scan the drives anew and save the database\n"
    "  --sort name    sort the rows by name\n"
    "  --sort path    sort the rows by path\n"
    "  -c, --count    print only the number of rows\n"
    "  --drive-form   print paths in the database's drive form (C:\\HOME\\...)\n"
    "  --host         print paths as this machine spells them (/home/...; the default)\n"
    "  -0, --null     end each line with a NUL character\n"
    "  --file         read the database file even when the program runs\n"
    "  -v, --verbose  say on stderr whether the program or the file answered\n"
    "  -h, --help     show this text\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 when rows were printed, 1 when there were none (or the\n"
    "pattern's folder is on no drive or not in the database), 2 on errors.\n";

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
        options.DriveForm = false;
      } else if (arg == "--drive-form") {
        options.DriveForm = true;
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
