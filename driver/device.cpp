#include "driver/device.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstring>

#include "driver/fanotify_source.h"
#include "driver/inotify_source.h"
#include "platform/config_paths.h"

namespace varnoke::driver {
namespace {

// How long a held-back half of a rename waits for its partner.
constexpr int kPartnerWaitMs = 20;

std::uint32_t ReadUint32(const void* in, std::uint32_t inSize) {
  std::uint32_t value = 0;
  if (in != nullptr && inSize >= sizeof value) std::memcpy(&value, in, sizeof value);
  return value;
}

}  // namespace

TVarnokeDevice::TVarnokeDevice(const TVxdHost& host)
    : host_(host), hive_(platform::DefaultHivePath()), map_(platform::DriveLinkFolder()) {}

TVarnokeDevice::~TVarnokeDevice() {
  Unregister();

  std::lock_guard guard(mutex_);
  records_.clear();
}

bool TVarnokeDevice::Control(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                             std::uint32_t outSize, std::uint32_t* bytesReturned) {
  if (bytesReturned != nullptr) *bytesReturned = 0;
  switch (code) {
    case MONITOR_IOCTL_REGISTER: {
      TCallback callback = nullptr;
      if (in == nullptr || inSize < sizeof callback) return false;
      std::memcpy(&callback, in, sizeof callback);
      if (callback == nullptr) {
        Unregister();
        return true;
      }
      return Register(callback);
    }
    case MONITOR_IOCTL_ACK:
      if (in == nullptr || inSize < sizeof(void*)) return false;
      {
        const void* record = nullptr;
        std::memcpy(&record, in, sizeof record);
        Acknowledge(record);
      }
      return true;
    case VXD_IOCTL_SELECT_SOURCE:
      if (reader_.joinable()) return false;
      requestedSource_ = ReadUint32(in, inSize);
      return requestedSource_ <= VXD_SOURCE_FANOTIFY;
    case VXD_IOCTL_PAUSE_READING:
      paused_ = ReadUint32(in, inSize) != 0;
      Wake();
      return true;
    case VXD_IOCTL_QUERY_SOURCE:
      if (out == nullptr || outSize < sizeof activeSource_) return false;
      std::memcpy(out, &activeSource_, sizeof activeSource_);
      if (bytesReturned != nullptr) *bytesReturned = sizeof activeSource_;
      return true;
    default:
      return false;
  }
}

bool TVarnokeDevice::Register(TCallback callback) {
  if (reader_.joinable()) return false;  // one registration at a time
  std::vector<std::string> roots;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const std::string root{letter, ':', '\\'};
    if (drives_.GetDriveType(root) == platform::TDriveType::Fixed) roots.push_back(root);
  }
  // fanotify sees the whole of each disk without a watch per directory, but
  // needs privileges; inotify works for everybody.
  std::unique_ptr<TChangeSource> source;
  if (requestedSource_ != VXD_SOURCE_INOTIFY) {
    source = std::make_unique<TFanotifySource>(*this, files_, drives_, mounts_);
    activeSource_ = VXD_SOURCE_FANOTIFY;
    if (!source->Start(roots)) source.reset();
  }
  if (source == nullptr && requestedSource_ != VXD_SOURCE_FANOTIFY) {
    source = std::make_unique<TInotifySource>(*this, files_);
    activeSource_ = VXD_SOURCE_INOTIFY;
    if (!source->Start(roots)) source.reset();
  }
  if (source == nullptr) {
    activeSource_ = VXD_SOURCE_AUTOMATIC;
    return false;
  }
  wake_.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!wake_.Valid()) return false;
  {
    std::lock_guard guard(mutex_);
    callback_ = callback;
    thread_ = host_.CurrentThread();
  }
  source_ = std::move(source);
  stopping_ = false;
  reader_ = std::thread([this] { ReadLoop(); });
  return true;
}

void TVarnokeDevice::Unregister() {
  if (reader_.joinable()) {
    stopping_ = true;
    Wake();
    reader_.join();
  }
  source_.reset();
  std::lock_guard guard(mutex_);
  callback_ = nullptr;
  if (thread_ != nullptr) host_.ReleaseThread(thread_);
  thread_ = nullptr;
}

void TVarnokeDevice::Wake() {
  if (!wake_.Valid()) return;
  const std::uint64_t one = 1;
  if (::write(wake_.Get(), &one, sizeof one) < 0) {
    // The counter is full, so the reader is awake already.
  }
}

void TVarnokeDevice::ReadLoop() {
  while (!stopping_) {
    const bool paused = paused_;
    pollfd fds[2] = {{wake_.Get(), POLLIN, 0}, {source_->Fd(), POLLIN, 0}};
    const int timeout = !paused && source_->HoldsEvents() ? kPartnerWaitMs : -1;
    const int ready = ::poll(fds, paused ? 1 : 2, timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents & POLLIN) {
      std::uint64_t count = 0;
      if (::read(wake_.Get(), &count, sizeof count) < 0) count = 0;
      continue;
    }
    if (ready == 0) {
      source_->OnQuiet();
    } else if (!paused && (fds[1].revents & (POLLIN | POLLERR | POLLHUP))) {
      source_->OnReadable();
    }
  }
}

void TVarnokeDevice::Report(std::uint32_t code, std::uint32_t info, std::string path,
                            std::string newPath) {
  auto record = std::make_unique<TRecord>();
  record->path = std::move(path);
  record->newPath = std::move(newPath);
  record->event.Path = record->path.c_str();
  record->event.NewPath = record->newPath.c_str();
  record->event.Info = info;
  record->event.Code = code;
  std::lock_guard guard(mutex_);
  if (callback_ == nullptr || thread_ == nullptr) return;
  const void* address = &record->event;
  auto [it, added] = records_.emplace(address, std::move(record));
  if (host_.QueueApc(thread_, callback_, reinterpret_cast<std::uintptr_t>(address)) == 0) {
    records_.erase(it);
  }
}

void TVarnokeDevice::Acknowledge(const void* record) {
  std::lock_guard guard(mutex_);
  records_.erase(record);
}

}  // namespace varnoke::driver
