// The program's entry: the platform check, the single instance, the
// windows, StartUp, the event loop and ShutDown, with the exit code each
// way out gives.
#pragma once

namespace varnoke::shell {

class TProgram;

// From the created windows on: StartUp, the event loop when StartUp asks
// for it, then ShutDown. A start-up failure is reported by the last-chance
// error box and gives exit code 1, with nothing saved.
int RunResident(TProgram& program);

// The whole program, from main.
int RunProgram(int argc, char** argv);

}  // namespace varnoke::shell
