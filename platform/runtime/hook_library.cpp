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
  auto installHook = reinterpret_cast<TInstallHookFn>(::dlsym(handle, "InstallHook"));
  auto setKey = reinterpret_cast<TSetKeyFn>(::dlsym(handle, "SetKey"));
  if (installHook == nullptr || setKey == nullptr) {
    const std::string message = path + ": InstallHook or SetKey is not exported";
    ::dlclose(handle);
    if (error != nullptr) *error = message;
    return nullptr;
  }
  auto editControlObject =
      reinterpret_cast<TEditControlObjectFn>(::dlsym(handle, "EditControlObject"));
  return std::make_unique<THookLibrary>(handle, installHook, setKey, editControlObject);
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

bool THookLibrary::EditControlObject(std::uint64_t handle, TAccessibleRef& field) {
  if (editControlObject_ == nullptr || !IsAccessibleHandle(handle)) return false;
  // A bus name is at most 255 bytes; object paths have no limit, but those
  // of accessible objects are short.
  char bus[256];
  char path[4096];
  if (editControlObject_(static_cast<std::uint32_t>(handle), bus, sizeof bus, path, sizeof path) !=
      1)
    return false;
  bus[sizeof bus - 1] = '\0';
  path[sizeof path - 1] = '\0';
  field = {bus, path};
  return true;
}

}  // namespace varnoke::platform
