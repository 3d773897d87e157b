// Running a program of the project for an end-to-end test: its arguments,
// extra environment variables, and what it printed and returned.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace varnoke::testing {

struct TProcessResult {
  int status = -1;  // the exit status, or -1 when the program did not exit normally
  std::string out;
  std::string err;
};

inline std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs program with args; env entries ("NAME=value") are added to the
// test's own environment. Output is collected in files under scratch.
inline TProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                                 const std::vector<std::string>& env, const std::string& scratch) {
  const std::string outPath = scratch + "/stdout";
  const std::string errPath = scratch + "/stderr";
  const pid_t child = ::fork();
  if (child == 0) {
    for (const std::string& entry : env)
      ::putenv(const_cast<char*>(entry.c_str()));
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(out, 1);
    ::dup2(err, 2);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args)
      argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  TProcessResult result;
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  result.out = ReadWhole(outPath);
  result.err = ReadWhole(errPath);
  return result;
}

}  // namespace varnoke::testing
