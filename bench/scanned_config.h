// A configuration of a benchmark's own for varnoke-find: drive C: is a
// tree on the disk, typed fixed, scanned into the database once.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/hive/hive_file.h"
#include "platform/registry.h"

namespace varnoke::bench {

inline bool Shell(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

// Makes config (settings folder, drive map, installation folder) with C:
// at treeRoot and scans it with findBinary; false when a step failed. The
// database is config/install/memdb.dat.
inline bool MakeScannedConfig(const std::string& config, const std::string& treeRoot,
                              const std::string& findBinary) {
  if (!Shell("rm -rf '" + config + "' && mkdir -p '" + config + "/varnoke/dosdevices' '" + config +
             "/install'") ||
      ::symlink(treeRoot.c_str(), (config + "/varnoke/dosdevices/c:").c_str()) != 0) {
    return false;
  }
  platform::THiveFile hive(config + "/varnoke/registry.reg");
  std::string problem;
  hive.Modify(
      [&](platform::THiveContents& contents) {
        contents.FindOrAdd("HKEY_CLASSES_ROOT\\Varnoke\\Settings")
            .Set("Directory", platform::kRegSz, platform::StringData(config + "/install"));
        contents.FindOrAdd("HKEY_LOCAL_MACHINE\\Software\\Varnoke\\Drives")
            .Set("c:", platform::kRegSz, platform::StringData("fixed"));
        return true;
      },
      problem);
  return Shell("XDG_CONFIG_HOME='" + config + "' '" + findBinary + "' --scan > /dev/null");
}

}  // namespace varnoke::bench
