#include "platform/x11/x11_errors.h"

#include <X11/Xlib.h>

#include <mutex>
#include <unordered_map>

namespace varnoke::platform {
namespace {

struct TDisplayErrors {
  int traps = 0;       // open TErrorTraps on the display
  int firstError = 0;  // since the outermost trap opened
};

struct TRegistry {
  std::mutex lock;
  std::unordered_map<Display*, TDisplayErrors> displays;  // Guarded by lock.
  XErrorHandler previous = nullptr;                       // Set once, before any use.
};

TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

// Runs on whichever thread read the error from its connection.
int HandleError(Display* display, XErrorEvent* event) {
  TRegistry& registry = Registry();
  {
    std::lock_guard<std::mutex> guard(registry.lock);
    auto found = registry.displays.find(display);
    if (found != registry.displays.end()) {
      TDisplayErrors& errors = found->second;
      if (errors.traps > 0 && errors.firstError == 0) errors.firstError = event->error_code;
      return 0;
    }
  }
  return registry.previous != nullptr ? registry.previous(display, event) : 0;
}

void InstallHandlerOnce() {
  static std::once_flag once;
  std::call_once(once, [] { Registry().previous = XSetErrorHandler(HandleError); });
}

}  // namespace

void RegisterErrorDisplay(Display* display) {
  InstallHandlerOnce();
  TRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.lock);
  registry.displays[display] = TDisplayErrors{};
}

void UnregisterErrorDisplay(Display* display) {
  TRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.lock);
  registry.displays.erase(display);
}

TErrorTrap::TErrorTrap(Display* display) : display_(display) {
  // Errors of requests made before the trap must not be counted in it.
  XSync(display_, False);
  TRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.lock);
  TDisplayErrors& errors = registry.displays[display_];
  if (errors.traps++ == 0) errors.firstError = 0;
}

TErrorTrap::~TErrorTrap() {
  Finish();
}

int TErrorTrap::Finish() {
  if (finished_) return error_;
  finished_ = true;
  XSync(display_, False);
  TRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.lock);
  TDisplayErrors& errors = registry.displays[display_];
  error_ = errors.firstError;
  --errors.traps;
  return error_;
}

}  // namespace varnoke::platform
