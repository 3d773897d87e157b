#include "monitor/executive.h"

#include <string>

#include "monitor/initialization_error.h"
#include "platform/messages.h"

namespace varnoke {
namespace {

constexpr int kStarting = 0;
constexpr int kRegistered = 1;
constexpr int kEnded = 2;

// The executive whose thread this is: the device's callback has only the
// report's address to go on.
thread_local TExecutive* tCurrent = nullptr;

std::string DeviceMessage(int id) {
  return platform::FormatMessage(id, {"varnoke.vxd", "Varnoke", "Varnoke"});
}

}  // namespace

TExecutive::TExecutive(TMemoryDB& db, platform::TEvent& stopEvent, TExecutiveOptions options)
    : db_(db), stopEvent_(stopEvent), options_(std::move(options)) {
  thread_ = std::thread([this] { Execute(); });
}

TExecutive::~TExecutive() {
  stopEvent_.Set();
  if (thread_.joinable()) thread_.join();
}

void TExecutive::SetState(int state, std::exception_ptr failure) {
  {
    std::lock_guard guard(mutex_);
    state_ = state;
    if (failure) failure_ = failure;
  }
  changed_.notify_all();
}

bool TExecutive::WaitUntilRegistered() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return state_ != kStarting; });
  return state_ == kRegistered;
}

void TExecutive::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

std::exception_ptr TExecutive::Failure() const {
  std::lock_guard guard(mutex_);
  return failure_;
}

bool TExecutive::DeviceControl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                               std::uint32_t outSize) {
  // Held through the call: the thread leaves the registered state, and
  // closes the device, only under this lock.
  std::lock_guard guard(mutex_);
  if (state_ != kRegistered) return false;
  return device_->DeviceIoControl(code, in, inSize, out, outSize, nullptr);
}

void TExecutive::Execute() {
  // The monitor thread runs at the program's own priority. Nearly all of
  // its work is done holding the database lock, and a lock holder must get
  // the processor as soon as the window would: in the idle class, or at a
  // high nice value, a report preempted while it holds the lock (the first
  // one builds the directory index) kept the window waiting for seconds
  // while other processes kept the cores busy. Once in the idle class a
  // thread may not leave it again without privileges, so it cannot drop
  // to it only between reports. Its cost is a few microseconds a report.
  tCurrent = this;
  try {
    device_ = platform::TDevice::CreateFile(options_.DeviceName);
    if (device_ == nullptr) throw EInitialization(DeviceMessage(platform::kMsgDeviceLoadFailed));
    if (options_.Source != VXD_SOURCE_AUTOMATIC) {
      SendOption(VXD_IOCTL_SELECT_SOURCE, options_.Source);
    }
    if (options_.WatchLimit != 0) SendOption(VXD_IOCTL_LIMIT_WATCHES, options_.WatchLimit);
    if (options_.RelistPeriodMs != 0) SendOption(VXD_IOCTL_RELIST_PERIOD, options_.RelistPeriodMs);
    // A device that cannot compare leaves the tree as loaded.
    const bool catchUp = options_.CatchUp && SendOption(MONITOR_IOCTL_CATCH_UP, 1);
    void (*callback)(std::uintptr_t) = &TExecutive::DeviceCallback;
    std::uint32_t unused = 0;
    if (!device_->DeviceIoControl(MONITOR_IOCTL_REGISTER, &callback, sizeof callback, &unused,
                                  sizeof unused, nullptr)) {
      throw EInitialization(DeviceMessage(platform::kMsgDeviceInitFailed));
    }
    // Before the owner hears of the registration, so that it hears of this
    // first.
    CheckUnwatched();
    if (catchUp) {
      catchUp_.Begin();
      if (options_.OnCatchUp) options_.OnCatchUp(catchUp_.Status());
    }
    SetState(kRegistered);
    while (platform::WaitForSingleObjectEx(stopEvent_, platform::kInfinite, true) !=
           platform::kWaitObject0) {
    }
    SetState(kEnded);
    // Nothing is called any more once the callback is unregistered.
    callback = nullptr;
    device_->DeviceIoControl(MONITOR_IOCTL_REGISTER, &callback, sizeof callback, &unused,
                             sizeof unused, nullptr);
    device_.reset();
  } catch (...) {
    // The record being applied is not acknowledged; the device goes with
    // the thread, so that nothing is queued to a thread that waits no more.
    SetState(kEnded, std::current_exception());
    device_.reset();
    if (options_.OnFailure) options_.OnFailure(Failure());
  }
  tCurrent = nullptr;
}

bool TExecutive::SendOption(std::uint32_t code, std::uint32_t value) {
  return device_->DeviceIoControl(code, &value, sizeof value, nullptr, 0, nullptr);
}

void TExecutive::CancelCatchUp() {
  catchUp_.CallOff();
  const std::uint32_t off = 0;
  if (tCurrent == this) {
    // From a callback: the thread owns the device, and DeviceControl's lock
    // may be held by another thread's long question (WAIT_SETTLED).
    device_->DeviceIoControl(MONITOR_IOCTL_CATCH_UP, &off, sizeof off, nullptr, 0, nullptr);
  } else {
    DeviceControl(MONITOR_IOCTL_CATCH_UP, &off, sizeof off);
  }
}

void TExecutive::CheckUnwatched() {
  if (unwatchedTold_ || !options_.OnUnwatched) return;
  std::uint32_t count = 0;
  // A device that does not know the question has nothing unwatched.
  if (!device_->DeviceIoControl(VXD_IOCTL_QUERY_UNWATCHED, nullptr, 0, &count, sizeof count,
                                nullptr) ||
      count == 0) {
    return;
  }
  unwatchedTold_ = true;
  options_.OnUnwatched(count);
}

void TExecutive::Apply(const TChangeEvent& event) {
  // The paths are the device's; the database works on copies.
  switch (event.Code) {
    case VXD_CODE_DELETE:
      db_.ApplyDelete(std::string(event.Path));
      break;
    case VXD_CODE_DIRECTORY:
      if (event.Info == 0) {
        db_.ApplyDirectoryCreate(std::string(event.Path));
      } else {
        db_.ApplyDirectoryRemove(std::string(event.Path));
      }
      break;
    case VXD_CODE_CREATE:
      db_.ApplyFileCreate(std::string(event.Path));
      break;
    case VXD_CODE_RENAME: {
      const std::string newPath(event.NewPath);
      const std::string oldPath(event.Path);
      db_.ApplyRename(oldPath, newPath, event.Info);
      break;
    }
    case VXD_CODE_LISTING:
      catchUp_.Apply(db_, event);
      break;
    default:
      break;  // not a report this program knows; acknowledged all the same
  }
}

void TExecutive::DeviceCallback(std::uintptr_t record) {
  TExecutive* self = tCurrent;
  if (self == nullptr || record == 0) return;
  const TChangeEvent& event = *reinterpret_cast<const TChangeEvent*>(record);
  const std::uint32_t code = event.Code;
  self->Apply(event);
  const void* address = reinterpret_cast<const void*>(record);
  self->device_->DeviceIoControl(MONITOR_IOCTL_ACK, &address, sizeof address, nullptr, 0, nullptr);
  self->applied_.fetch_add(1);
  self->CheckUnwatched();
  if (self->options_.AfterReport) self->options_.AfterReport();
  if (code == VXD_CODE_LISTING && self->options_.OnCatchUp) {
    self->options_.OnCatchUp(self->catchUp_.Status());
  }
}

}  // namespace varnoke
