// The program's command line: no option starts the resident program;
// --popup asks the running one to pop its search window up, as the hot
// key does (desktops bind their own shortcuts to it); --help and --version
// answer without a display.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace varnoke::shell {

enum class TCommand { Run, Popup, Help, Version };

// The command of argv (without the program's name); nothing, with why in
// problem, for an unknown option or a stray argument.
std::optional<TCommand> ParseCommandLine(const std::vector<std::string>& args,
                                         std::string& problem);

// The text --help prints.
std::string UsageText();

// --popup: sends the request, with the activation token the desktop gave
// this start (XDG_ACTIVATION_TOKEN, else DESKTOP_STARTUP_ID), to the
// running program. Its exit code: 0 when the program took it, 1 (with why
// on standard error) when none of this user runs or the name is held by
// another user's process.
int AskToPopUp(const char* instanceName);

}  // namespace varnoke::shell
