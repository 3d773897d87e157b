// The settings hive of a user set up to run the resident program: every
// setting it reads, with the installation folder given, the splash off, the
// hot key Ctrl+Alt+F, and drive C: typed fixed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace varnoke::testing {

inline std::string ProgramHiveText(const std::string& installFolder,
                                   std::uint32_t saveSuccessful = 0) {
  char saved[16];
  std::snprintf(saved, sizeof saved, "%08x", static_cast<unsigned>(saveSuccessful));
  return "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Varnoke\\Settings]\n"
         "\"Directory\"=\"" +
         installFolder +
         "\"\n"
         "\"ShowSplash\"=dword:00000000\n"
         "\"SaveSuccessful\"=dword:" +
         saved +
         "\n"
         "\"StartupOptions\"=dword:00000001\n"
         "\"HotKey\"=dword:00000046\n"
         "\"HotKeyShift\"=dword:00000005\n\n"
         "[HKEY_LOCAL_MACHINE\\Software\\Varnoke\\Drives]\n"
         "\"c:\"=\"fixed\"\n";
}

}  // namespace varnoke::testing
