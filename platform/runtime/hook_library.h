// The keyboard-hook library mhook.dll: loaded from a given path, its
// exports looked up by name: InstallHook and SetKey; ReportHotKey for
// presses the desktop saw in its stead (a desktop shortcut that ran
// `varnoke --popup`); EditControlObject, which turns an edit-control
// handle back into a text field on the accessibility bus.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/a11y/accessible.h"
#include "platform/x11/window_handle.h"

namespace varnoke::platform {

// What SetKey made of a key.
enum class TSetKeyResult {
  Grabbed,        // the hot key is now that key with those modifiers
  HeldElsewhere,  // another program holds the combination, or the desktop refused it or
                  // bound another key instead; nothing is grabbed for it
  NoSuchKey,      // the code names no key of the keyboard
};

class THookLibrary {
 public:
  // Loads the library at path and finds its exports. Null when any
  // fails; *error (when given) then says why.
  static std::unique_ptr<THookLibrary> Load(const std::string& path, std::string* error);

  // Removes the hook if it is still installed, then unloads the library:
  // the library's thread must not outlive its code.
  ~THookLibrary();
  THookLibrary(const THookLibrary&) = delete;
  THookLibrary& operator=(const THookLibrary&) = delete;

  // flag 1 starts watching and reporting to window, 0 stops. True when the
  // library reports success (the low byte of its result).
  bool InstallHook(std::uint32_t flag, TWindowHandle window);

  // key: a virtual-key code in the low 16 bits; modifiers: 1 Alt, 2 Shift,
  // 4 Ctrl. Before InstallHook(1) the library only remembers the key and
  // reports Grabbed.
  TSetKeyResult SetKey(std::uint32_t key, std::uint32_t modifiers);

  // The hot key was pressed where the library cannot see it: it reports
  // the press as its own (the two messages) from its own thread, and
  // returns at once. activationToken: what the desktop gave the press to
  // let the window take the focus (XDG_ACTIVATION_TOKEN), or empty. Does
  // nothing unless the hook is installed.
  void ReportHotKey(const std::string& activationToken);

  // The text field that an edit-control handle the library posted stands
  // for; false when it stands for none (an X window, a report long gone).
  bool EditControlObject(std::uint64_t handle, TAccessibleRef& field);

  using TInstallHookFn = int (*)(std::uint32_t, std::uint64_t);
  using TSetKeyFn = int (*)(std::uint32_t, std::uint32_t);
  using TReportHotKeyFn = void (*)(const char*);
  using TEditControlObjectFn = int (*)(std::uint32_t, char*, std::uint32_t, char*, std::uint32_t);
  struct TExports {
    TInstallHookFn InstallHook;
    TSetKeyFn SetKey;
    TReportHotKeyFn ReportHotKey;
    TEditControlObjectFn EditControlObject;
  };
  THookLibrary(void* handle, const TExports& exports) : handle_(handle), exports_(exports) {}

 private:
  void* handle_;  // owned dlopen handle
  TExports exports_;
  bool installed_ = false;
};

}  // namespace varnoke::platform
