// The change-report device: a shared object in the program's system
// directory, opened by name, driven by control codes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/device_abi.h"

namespace varnoke::platform {

// The folder the device objects live in: <prefix>/lib/varnoke beside the
// program's <prefix>/bin (in a build tree, build/lib/varnoke).
std::string GetSystemDirectory();

class TDevice {
 public:
  // Opens the device named "\\.\NAME": loads NAME from the system directory
  // and opens it. Null when either fails; the object stays loaded while the
  // device is open.
  static std::unique_ptr<TDevice> CreateFile(std::string_view name);

  // Use CreateFile; the tag keeps everybody else out.
  struct TOpened {
    void* library;
    void* device;
    TVxdDeviceIoControl control;
    TVxdClose close;
  };
  explicit TDevice(const TOpened& opened)
      : library_(opened.library),
        device_(opened.device),
        control_(opened.control),
        close_(opened.close) {}

  ~TDevice();  // closes the device and unloads it
  TDevice(const TDevice&) = delete;
  TDevice& operator=(const TDevice&) = delete;

  // True when the device carried out the control code.
  bool DeviceIoControl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                       std::uint32_t outSize, std::uint32_t* bytesReturned);

 private:
  void* library_;
  void* device_;
  TVxdDeviceIoControl control_;
  TVxdClose close_;
};

}  // namespace varnoke::platform
