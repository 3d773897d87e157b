// The command line of varnoke-find.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace varnoke::find {

enum class TSortOrder { None, Name, Path };

struct TFindOptions {
  bool Scan = false;       // --scan: rebuild the database from the drives
  bool Help = false;       // --help
  bool Version = false;    // --version
  bool Count = false;      // --count: print the number of rows only
  bool DriveForm = false;  // --drive-form: print drive paths (C:\...), not host paths
  bool NulEnds = false;    // -0: end each line with NUL
  bool FileOnly = false;   // --file: read the database file even when the program runs
  bool Verbose = false;    // --verbose: say on stderr where the rows came from
  TSortOrder Sort = TSortOrder::None;
  std::optional<std::string> Pattern;
};

// Reads the arguments (without the program name). Returns nothing, with
// error saying why, when they make no sense.
std::optional<TFindOptions> ParseFindOptions(const std::vector<std::string>& args,
                                             std::string& error);

extern const char* const kFindUsage;

}  // namespace varnoke::find
