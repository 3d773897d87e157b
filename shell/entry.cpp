#include "shell/entry.h"

#include <cstdio>
#include <exception>

#include "shell/app_exception.h"
#include "shell/program.h"

namespace varnoke::shell {

int RunResident(TProgram& program) {
  bool run = false;
  try {
    run = program.StartUp();
  } catch (...) {
    const std::exception_ptr error = std::current_exception();
    // What the start-up left stays as it was: nothing is saved.
    program.NoSaveOnExit = true;
    ShowLastChanceError(error);
    try {
      program.ShutDown();
    } catch (...) {
      ReportAppException(std::current_exception());
    }
    return 1;
  }
  int exitCode = program.ExitCode();
  if (run) exitCode = program.RunEventLoop();
  try {
    program.ShutDown();
  } catch (...) {
    ReportAppException(std::current_exception());
  }
  return exitCode;
}

}  // namespace varnoke::shell
