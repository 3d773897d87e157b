// The exports of mhook.dll.
#include <cstdint>
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
