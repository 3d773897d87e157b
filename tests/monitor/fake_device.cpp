// fake.vxd: a change-report device for tests. It keeps one registration
// for the whole process and lets a test inject any report, so that the
// monitor's side of the protocol can be exercised code by code.
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/device_abi.h"
#include "tests/monitor/fake_device_codes.h"

namespace {

struct TRecord {
  TChangeEvent event{};
  std::string path;
  std::string newPath;
};

struct TState {
  std::mutex mutex;
  const TVxdHost* host = nullptr;
  void (*callback)(uintptr_t) = nullptr;
  void* thread = nullptr;
  bool refuseRegistration = false;
  std::deque<std::unique_ptr<TRecord>> records;
  std::set<const void*> unacknowledged;
  uint32_t acknowledged = 0;
};

TState& State() {
  static TState state;
  return state;
}

int Inject(const TFakeReport& report) {
  TState& s = State();
  std::lock_guard guard(s.mutex);
  if (s.callback == nullptr) return 0;
  auto record = std::make_unique<TRecord>();
  record->path = report.Path;
  record->newPath = report.NewPath;
  record->event = {record->path.c_str(), record->newPath.c_str(), report.Info, report.Code};
  const void* address = &record->event;
  s.records.push_back(std::move(record));
  s.unacknowledged.insert(address);
  return s.host->QueueApc(s.thread, s.callback, reinterpret_cast<uintptr_t>(address));
}

}  // namespace

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

FAKE_EXPORT void* VxdOpen(const TVxdHost* host) {
  std::lock_guard guard(State().mutex);
  State().host = host;
  return &State();
}

FAKE_EXPORT int VxdDeviceIoControl(void*, uint32_t code, const void* in, uint32_t inSize, void* out,
                                   uint32_t outSize, uint32_t* bytesReturned) {
  TState& s = State();
  if (bytesReturned != nullptr) *bytesReturned = 0;
  switch (code) {
    case MONITOR_IOCTL_REGISTER: {
      void (*callback)(uintptr_t) = nullptr;
      if (inSize < sizeof callback) return 0;
      std::memcpy(&callback, in, sizeof callback);
      std::lock_guard guard(s.mutex);
      if (callback != nullptr && s.refuseRegistration) return 0;
      if (s.thread != nullptr) s.host->ReleaseThread(s.thread);
      s.thread = callback != nullptr ? s.host->CurrentThread() : nullptr;
      s.callback = callback;
      return 1;
    }
    case MONITOR_IOCTL_ACK: {
      const void* record = nullptr;
      if (inSize < sizeof record) return 0;
      std::memcpy(&record, in, sizeof record);
      std::lock_guard guard(s.mutex);
      if (s.unacknowledged.erase(record) == 1) ++s.acknowledged;
      return 1;
    }
    case kFakeInject:
      return inSize == sizeof(TFakeReport) ? Inject(*static_cast<const TFakeReport*>(in)) : 0;
    case kFakeQuery: {
      if (outSize < sizeof(TFakeStatus)) return 0;
      std::lock_guard guard(s.mutex);
      TFakeStatus status{s.acknowledged, s.callback != nullptr ? 1u : 0u,
                         static_cast<uint32_t>(s.unacknowledged.size())};
      std::memcpy(out, &status, sizeof status);
      return 1;
    }
    case kFakeRefuseRegistration: {
      std::lock_guard guard(s.mutex);
      s.refuseRegistration = inSize >= 1 && *static_cast<const char*>(in) != 0;
      return 1;
    }
    default:
      return 0;
  }
}

FAKE_EXPORT void VxdClose(void*) {}
