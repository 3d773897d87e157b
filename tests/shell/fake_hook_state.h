// What the stand-in hook library records and answers, shared by the library
// and the tests that look at it.
#pragma once

#include <dlfcn.h>

#include <cstdint>

namespace varnoke::testing {

struct TFakeHookState {
  int InstallResult = 1;  // what InstallHook(1, ...) returns
  int SetKeyResult = 1;   // what SetKey returns: 1 grabbed, 0 held elsewhere, -1 no such key
  int InstallCalls = 0;
  std::uint32_t LastFlag = 0;
  std::uint64_t LastWindow = 0;
  bool Installed = false;
  int SetKeyCalls = 0;
  std::uint32_t LastKey = 0;
  std::uint32_t LastModifiers = 0;
  int ReportCalls = 0;       // presses reported for the desktop
  char LastToken[256] = {};  // the activation token of the last one
  // The one edit-control handle that stands for a text field, and the field.
  std::uint32_t FieldHandle = 0;
  char FieldBus[64] = "";
  char FieldPath[128] = "";
};

// The library loaded (again) from path, kept loaded while the handle lives,
// and its state.
class TFakeHook {
 public:
  explicit TFakeHook(const char* path) : handle_(::dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
    using TStateFunction = TFakeHookState* (*)();
    auto state = reinterpret_cast<TStateFunction>(::dlsym(handle_, "FakeHookState"));
    state_ = state != nullptr ? state() : nullptr;
    if (state_ != nullptr) *state_ = {};
  }
  ~TFakeHook() {
    if (handle_ != nullptr) ::dlclose(handle_);
  }
  TFakeHook(const TFakeHook&) = delete;
  TFakeHook& operator=(const TFakeHook&) = delete;

  TFakeHookState& State() { return *state_; }
  bool Loaded() const { return state_ != nullptr; }

 private:
  void* handle_;
  TFakeHookState* state_ = nullptr;
};

}  // namespace varnoke::testing
