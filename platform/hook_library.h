// The keyboard-hook library, mhook.dll: a shared object loaded by path, with
// its two exports looked up by name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace varnoke::platform {

enum class TSetKeyResult {
  Grabbed,        // the key now calls the program
  HeldElsewhere,  // another program holds the combination
  NoSuchKey,      // the code names no key of this keyboard
};

class THookLibrary {
 public:
  // Loads the library; null, with the reason in error, when it cannot be
  // loaded or lacks an export.
  static std::unique_ptr<THookLibrary> Load(const std::string& path, std::string* error);

  using TInstallHook = int (*)(std::uint32_t, std::uint64_t);
  using TSetKey = int (*)(std::uint32_t, std::uint32_t);
  // Use Load; this takes over a loaded library.
  THookLibrary(void* handle, TInstallHook install, TSetKey setKey)
      : handle_(handle), install_(install), setKey_(setKey) {}
  ~THookLibrary();
  THookLibrary(const THookLibrary&) = delete;
  THookLibrary& operator=(const THookLibrary&) = delete;

  // 1 starts watching the keyboard for window, 0 stops; true on success.
  bool InstallHook(std::uint32_t flag, std::uint64_t window);
  // Makes key (a virtual-key code) with modifiers (1 Alt, 2 Shift, 4 Ctrl)
  // the hot key.
  TSetKeyResult SetKey(std::uint32_t key, std::uint32_t modifiers);

 private:
  void* handle_;
  TInstallHook install_;
  TSetKey setKey_;
  bool installed_ = false;
};

}  // namespace varnoke::platform
