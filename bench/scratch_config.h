// A scratch configuration folder for a benchmark that makes the program's
// services: they look into it instead of the user's own, so the user's
// settings and files are never touched. It goes away with the object.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace varnoke::bench {

class TScratchConfig {
 public:
  TScratchConfig() : Folder("/tmp/varnoke-bench-config-" + std::to_string(::getpid())) {
    ::setenv("XDG_CONFIG_HOME", Folder.c_str(), 1);
  }
  ~TScratchConfig() {
    if (std::system(("rm -rf -- '" + Folder + "'").c_str()) != 0) std::perror("rm");
  }
  TScratchConfig(const TScratchConfig&) = delete;
  TScratchConfig& operator=(const TScratchConfig&) = delete;

  const std::string Folder;
};

}  // namespace varnoke::bench
