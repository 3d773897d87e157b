#include "platform/runtime/hook_library.h"

#include <dlfcn.h>

#include "platform/a11y/edit_control_handle.h"

namespace varnoke::platform {

std::unique_ptr<THookLibrary> THookLibrary::Load(const std::string& path, std::string* error) {
  auto fail = [error](const char* what) {
    if (error != nullptr) *error = what != nullptr ? what : "unknown error";
    return nullptr;
  };
  // RTLD_LOCAL: the library's own copies of what it links stay its own.
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return fail(::dlerror());
  const TExports exports{
      reinterpret_cast<TInstallHookFn>(::dlsym(handle, "InstallHook")),
      reinterpret_cast<TSetKeyFn>(::dlsym(handle, "SetKey")),
      reinterpret_cast<TReportHotKeyFn>(::dlsym(handle, "ReportHotKey")),
      reinterpret_cast<TEditControlObjectFn>(::dlsym(handle, "EditControlObject")),
  };
  if (exports.InstallHook == nullptr || exports.SetKey == nullptr ||
      exports.ReportHotKey == nullptr || exports.EditControlObject == nullptr) {
    const std::string message =
        path + ": InstallHook, SetKey, ReportHotKey or EditControlObject is not exported";
    ::dlclose(handle);
    if (error != nullptr) *error = message;
    return nullptr;
  }
  return std::make_unique<THookLibrary>(handle, exports);
}

THookLibrary::~THookLibrary() {
  // The library also stops its thread when it is unloaded, but a thread
  // stopped here ends before dlclose starts tearing the object down.
  if (installed_) exports_.InstallHook(0, 0);
  ::dlclose(handle_);
}

bool THookLibrary::InstallHook(std::uint32_t flag, TWindowHandle window) {
  const bool ok = (exports_.InstallHook(flag, window) & 0xff) != 0;
  if (flag == 1 && ok) installed_ = true;
  if (flag == 0) installed_ = false;
  return ok;
}

TSetKeyResult THookLibrary::SetKey(std::uint32_t key, std::uint32_t modifiers) {
  switch (exports_.SetKey(key, modifiers)) {
    case 1:
      return TSetKeyResult::Grabbed;
    case 0:
      return TSetKeyResult::HeldElsewhere;
    default:
      return TSetKeyResult::NoSuchKey;
  }
}

void THookLibrary::ReportHotKey(const std::string& activationToken) {
  if (installed_) exports_.ReportHotKey(activationToken.c_str());
}

bool THookLibrary::EditControlObject(std::uint64_t handle, TAccessibleRef& field) {
  if (!IsAccessibleHandle(handle)) return false;
  // A bus name is at most 255 bytes; object paths have no limit, but those
  // of accessible objects are short.
  char bus[256];
  char path[4096];
  if (exports_.EditControlObject(static_cast<std::uint32_t>(handle), bus, sizeof bus, path,
                                 sizeof path) != 1)
    return false;
  bus[sizeof bus - 1] = '\0';
  path[sizeof path - 1] = '\0';
  field = {bus, path};
  return true;
}

}  // namespace varnoke::platform
