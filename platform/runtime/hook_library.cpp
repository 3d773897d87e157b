#include "platform/runtime/hook_library.h"

#include <dlfcn.h>

namespace varnoke::platform {

std::unique_ptr<THookLibrary> THookLibrary::Load(const std::string& path, std::string* error) {
  auto fail = [error](const char* what) {
    if (error != nullptr) *error = what != nullptr ? what : "unknown error";
    return nullptr;
  };
  // RTLD_LOCAL: the library's own copies of what it links stay its own.
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return fail(::dlerror());
  auto installHook = reinterpret_cast<TInstallHookFn>(::dlsym(handle, "InstallHook"));
  auto setKey = reinterpret_cast<TSetKeyFn>(::dlsym(handle, "SetKey"));
  auto reportHotKey = reinterpret_cast<TReportHotKeyFn>(::dlsym(handle, "ReportHotKey"));
  if (installHook == nullptr || setKey == nullptr || reportHotKey == nullptr) {
    const std::string message = path + ": InstallHook, SetKey or ReportHotKey is not exported";
    ::dlclose(handle);
    if (error != nullptr) *error = message;
    return nullptr;
  }
  return std::make_unique<THookLibrary>(handle, installHook, setKey, reportHotKey);
}

THookLibrary::~THookLibrary() {
  // The library also stops its thread when it is unloaded, but a thread
  // stopped here ends before dlclose starts tearing the object down.
  if (installed_) installHook_(0, 0);
  ::dlclose(handle_);
}

bool THookLibrary::InstallHook(std::uint32_t flag, TWindowHandle window) {
  const bool ok = (installHook_(flag, window) & 0xff) != 0;
  if (flag == 1 && ok) installed_ = true;
  if (flag == 0) installed_ = false;
  return ok;
}

TSetKeyResult THookLibrary::SetKey(std::uint32_t key, std::uint32_t modifiers) {
  switch (setKey_(key, modifiers)) {
    case 1:
      return TSetKeyResult::Grabbed;
    case 0:
      return TSetKeyResult::HeldElsewhere;
    default:
      return TSetKeyResult::NoSuchKey;
  }
}

void THookLibrary::ReportHotKey(const std::string& activationToken) {
  if (installed_) reportHotKey_(activationToken.c_str());
}

}  // namespace varnoke::platform
