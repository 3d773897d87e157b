// The exports of mhook.dll: the two the program installs and sets the key
// with, the one that reports a press the desktop saw in the library's
// stead, and the one that turns an edit-control handle back into its text
// field on the accessibility bus.
#include <cstdint>
#include <cstring>
#include <mutex>

#include "hook/hot_key_watcher.h"

namespace {

// One watcher per loaded library. Its destructor runs when the library is
// unloaded or the process ends, and stops the thread, so that no thread is
// left running in code that is gone.
struct TLibrary {
  std::mutex lock;                        // one export call at a time
  varnoke::hook::THotKeyWatcher watcher;  // Guarded by lock.
};

TLibrary& Library() {
  static TLibrary library;
  return library;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int InstallHook(std::uint32_t flag,
                                                                  std::uint64_t window) {
  TLibrary& library = Library();
  std::lock_guard<std::mutex> guard(library.lock);
  if (flag == 0) {
    library.watcher.Stop();
    return 1;
  }
  return library.watcher.Start(static_cast<std::uint32_t>(window)) ? 1 : 0;
}

extern "C" __attribute__((visibility("default"))) int SetKey(std::uint32_t key,
                                                             std::uint32_t modifiers) {
  TLibrary& library = Library();
  std::lock_guard<std::mutex> guard(library.lock);
  // Only the low half of key holds the code.
  return library.watcher.SetKey(static_cast<std::uint16_t>(key & 0xffff), modifiers);
}

// The desktop saw the hot key in the library's stead (its own shortcut ran
// `varnoke --popup`): reported like a press, from the library's thread.
extern "C" __attribute__((visibility("default"))) void ReportHotKey(const char* activationToken) {
  TLibrary& library = Library();
  std::lock_guard<std::mutex> guard(library.lock);
  library.watcher.Press(activationToken != nullptr ? activationToken : "");
}

// The text field of an edit-control handle the hook posted: its bus name
// and object path, each NUL-terminated in its buffer. 1 when the handle
// names one and both fit, else 0.
extern "C" __attribute__((visibility("default"))) int EditControlObject(
    std::uint32_t handle, char* bus, std::uint32_t busSize, char* path, std::uint32_t pathSize) {
  // No library lock: the watcher's table has its own, and this must not
  // wait for an InstallHook that stops the thread.
  varnoke::platform::TAccessibleRef field;
  if (!Library().watcher.EditControlObject(handle, field) || bus == nullptr || path == nullptr ||
      field.Bus.size() >= busSize || field.Path.size() >= pathSize)
    return 0;
  std::memcpy(bus, field.Bus.c_str(), field.Bus.size() + 1);
  std::memcpy(path, field.Path.c_str(), field.Path.size() + 1);
  return 1;
}
