// A stand-in mhook.dll: its exports, recording their calls, answering what
// the test sets.
#include <cstdint>
#include <cstring>

#include "tests/shell/fake_hook_state.h"

using varnoke::testing::TFakeHookState;

extern "C" {

__attribute__((visibility("default"))) TFakeHookState* FakeHookState() {
  static TFakeHookState state;
  return &state;
}

__attribute__((visibility("default"))) int InstallHook(std::uint32_t flag, std::uint64_t window) {
  TFakeHookState& state = *FakeHookState();
  ++state.InstallCalls;
  state.LastFlag = flag;
  state.LastWindow = window;
  if (flag == 0) {
    state.Installed = false;
    return 1;
  }
  state.Installed = state.InstallResult != 0;
  return state.InstallResult;
}

__attribute__((visibility("default"))) int SetKey(std::uint32_t key, std::uint32_t modifiers) {
  TFakeHookState& state = *FakeHookState();
  ++state.SetKeyCalls;
  state.LastKey = key & 0xFFFF;
  state.LastModifiers = modifiers;
  return state.SetKeyResult;
}

__attribute__((visibility("default"))) void ReportHotKey(const char* activationToken) {
  TFakeHookState& state = *FakeHookState();
  ++state.ReportCalls;
  std::strncpy(state.LastToken, activationToken, sizeof state.LastToken - 1);
}

__attribute__((visibility("default"))) int EditControlObject(std::uint32_t handle, char* bus,
                                                             std::uint32_t busSize, char* path,
                                                             std::uint32_t pathSize) {
  const TFakeHookState& state = *FakeHookState();
  if (handle != state.FieldHandle || std::strlen(state.FieldBus) >= busSize ||
      std::strlen(state.FieldPath) >= pathSize)
    return 0;
  std::strcpy(bus, state.FieldBus);
  std::strcpy(path, state.FieldPath);
  return 1;
}
}
