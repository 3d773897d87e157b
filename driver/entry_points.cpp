// The entry points varnoke.vxd exports: open, device control, close.
#include <memory>
#include <new>

#include "driver/device.h"

#define VARNOKE_EXPORT extern "C" __attribute__((visibility("default")))

VARNOKE_EXPORT void* VxdOpen(const TVxdHost* host) {
  if (host == nullptr || host->Size < sizeof(TVxdHost)) return nullptr;
  try {
    return std::make_unique<varnoke::driver::TVarnokeDevice>(*host).release();
  } catch (...) {
    return nullptr;
  }
}

VARNOKE_EXPORT int VxdDeviceIoControl(void* device, uint32_t code, const void* in, uint32_t inSize,
                                      void* out, uint32_t outSize, uint32_t* bytesReturned) {
  if (device == nullptr) return 0;
  try {
    return static_cast<varnoke::driver::TVarnokeDevice*>(device)->Control(code, in, inSize, out,
                                                                          outSize, bytesReturned)
               ? 1
               : 0;
  } catch (...) {
    return 0;
  }
}

VARNOKE_EXPORT void VxdClose(void* device) {
  std::unique_ptr<varnoke::driver::TVarnokeDevice> owned(
      static_cast<varnoke::driver::TVarnokeDevice*>(device));
}
