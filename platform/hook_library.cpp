#include "platform/hook_library.h"

#include <dlfcn.h>

namespace varnoke::platform {

std::unique_ptr<THookLibrary> THookLibrary::Load(const std::string& path, std::string* error) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    if (error != nullptr) *error = ::dlerror();
    return nullptr;
  }
  auto install = reinterpret_cast<TInstallHook>(::dlsym(handle, "InstallHook"));
  auto setKey = reinterpret_cast<TSetKey>(::dlsym(handle, "SetKey"));
  if (install == nullptr || setKey == nullptr) {
    if (error != nullptr) *error = path + " lacks InstallHook or SetKey";
    ::dlclose(handle);
    return nullptr;
  }
  return std::make_unique<THookLibrary>(handle, install, setKey);
}

THookLibrary::~THookLibrary() {
  // The library's thread must not outlive its code.
  if (installed_) install_(0, 0);
  ::dlclose(handle_);
}

bool THookLibrary::InstallHook(std::uint32_t flag, std::uint64_t window) {
  const bool ok = (install_(flag, window) & 0xFF) != 0;
  if (ok) installed_ = flag != 0;
  return ok;
}

TSetKeyResult THookLibrary::SetKey(std::uint32_t key, std::uint32_t modifiers) {
  const int result = setKey_(key, modifiers);
  if (result > 0) return TSetKeyResult::Grabbed;
  return result == 0 ? TSetKeyResult::HeldElsewhere : TSetKeyResult::NoSuchKey;
}

}  // namespace varnoke::platform
