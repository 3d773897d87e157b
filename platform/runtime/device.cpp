#include "platform/runtime/device.h"

#include <dlfcn.h>
#include <unistd.h>

#include <array>
#include <climits>

#include "platform/runtime/alertable_wait.h"

namespace varnoke::platform {
namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";

// The thread references handed across the C interface are heap copies of
// the shared pointer; the device gives each one back once.
void* CurrentThreadForDevice() {
  return std::make_unique<std::shared_ptr<TApcThread>>(CurrentApcThread()).release();
}

void ReleaseThreadForDevice(void* thread) {
  std::unique_ptr<std::shared_ptr<TApcThread>> owned(
      static_cast<std::shared_ptr<TApcThread>*>(thread));
}

int QueueApcForDevice(void* thread, void (*routine)(std::uintptr_t), std::uintptr_t argument) {
  if (thread == nullptr) return 0;
  return QueueUserAPC(routine, *static_cast<std::shared_ptr<TApcThread>*>(thread), argument) ? 1
                                                                                             : 0;
}

const TVxdHost kHost = {sizeof(TVxdHost), CurrentThreadForDevice, ReleaseThreadForDevice,
                        QueueApcForDevice};

}  // namespace

std::string GetSystemDirectory() {
  std::array<char, PATH_MAX> exe{};
  const ssize_t n = ::readlink("/proc/self/exe", exe.data(), exe.size() - 1);
  if (n <= 0) return {};
  std::string path(exe.data(), static_cast<std::size_t>(n));
  path.erase(path.rfind('/'));  // the program's folder, bin
  const std::size_t parent = path.rfind('/');
  return (parent == std::string::npos ? std::string(".") : path.substr(0, parent)) + "/lib/varnoke";
}

std::unique_ptr<TDevice> TDevice::CreateFile(std::string_view name) {
  if (name.substr(0, kDevicePrefix.size()) != kDevicePrefix) return nullptr;
  const std::string file(name.substr(kDevicePrefix.size()));
  if (file.empty() || file.find('/') != std::string::npos) return nullptr;
  const std::string path = GetSystemDirectory() + "/" + file;
  void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return nullptr;
  auto open = reinterpret_cast<TVxdOpen>(::dlsym(library, VXD_OPEN_SYMBOL));
  auto control = reinterpret_cast<TVxdDeviceIoControl>(::dlsym(library, VXD_IOCTL_SYMBOL));
  auto close = reinterpret_cast<TVxdClose>(::dlsym(library, VXD_CLOSE_SYMBOL));
  void* device = open != nullptr && control != nullptr && close != nullptr ? open(&kHost) : nullptr;
  if (device == nullptr) {
    ::dlclose(library);
    return nullptr;
  }
  return std::make_unique<TDevice>(TDevice::TOpened{library, device, control, close});
}

TDevice::~TDevice() {
  close_(device_);
  ::dlclose(library_);
}

bool TDevice::DeviceIoControl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                              std::uint32_t outSize, std::uint32_t* bytesReturned) {
  std::uint32_t returned = 0;
  const int result = control_(device_, code, in, inSize, out, outSize, &returned);
  if (bytesReturned != nullptr) *bytesReturned = returned;
  return result != 0;
}

}  // namespace varnoke::platform
