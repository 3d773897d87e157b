#include "shell/command_line.h"

#include <cstdio>
#include <cstdlib>

#include "platform/runtime/single_instance.h"

namespace varnoke::shell {

std::optional<TCommand> ParseCommandLine(const std::vector<std::string>& args,
                                         std::string& problem) {
  if (args.empty()) return TCommand::Run;
  if (args.size() > 1) {
    problem = "too many arguments";
    return std::nullopt;
  }
  if (args[0] == "--popup") return TCommand::Popup;
  if (args[0] == "--help" || args[0] == "-h") return TCommand::Help;
  if (args[0] == "--version") return TCommand::Version;
  problem = "unknown option " + args[0];
  return std::nullopt;
}

std::string UsageText() {
  return "Usage: varnoke [--popup]\n"
         "Keeps the name of every file of the fixed drives in memory and finds them by\n"
         "pattern at once; waits in the tray and comes up with its hot key.\n"
         "\n"
         "  --popup    bring the running Varnoke's search window up, as its hot key\n"
         "             does; bind a shortcut of your desktop to this command\n"
         "  --help     show this text\n"
         "  --version  show the version\n";
}

int AskToPopUp(const char* instanceName) {
  const char* token = std::getenv("XDG_ACTIVATION_TOKEN");
  if (token == nullptr || token[0] == '\0') token = std::getenv("DESKTOP_STARTUP_ID");
  std::string answer;
  std::string problem;
  const platform::TAskResult result = platform::AskInstance(
      instanceName, platform::PopupRequest(token != nullptr ? token : ""), answer, problem);
  if (result == platform::TAskResult::Answered && answer == platform::kRequestTaken) return 0;
  if (result == platform::TAskResult::Answered) problem = "Varnoke refused the request: " + answer;
  std::fprintf(stderr, "varnoke: %s\n", problem.c_str());
  return 1;
}

}  // namespace varnoke::shell
