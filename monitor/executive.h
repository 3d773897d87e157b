// TExecutive: the change-monitor thread. It opens the change-report device,
// registers DeviceCallback with it and sleeps in an alertable wait on the
// stop event; the device has the callback run on this thread for every
// report, which is applied to the database and acknowledged.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "db/memory_db.h"
#include "monitor/catch_up.h"
#include "platform/runtime/alertable_wait.h"
#include "platform/runtime/device.h"

namespace varnoke {

struct TExecutiveOptions {
  // The device to open.
  std::string DeviceName = "\\\\.\\varnoke.vxd";
  // Which kernel interface the device reads (VXD_SOURCE_*).
  std::uint32_t Source = VXD_SOURCE_AUTOMATIC;
  // For tests: the most inotify watches the device may add (0: as many as
  // the kernel gives), and how often (ms) it lists again a few directories
  // it could not watch (0: its own pace).
  std::uint32_t WatchLimit = 0;
  std::uint32_t RelistPeriodMs = 0;
  // Runs on the monitor thread after each report has been applied and
  // acknowledged.
  std::function<void()> AfterReport;
  // Runs once on the monitor thread when the thread ends for any reason
  // other than the stop event, with what ended it (Failure()).
  std::function<void(std::exception_ptr)> OnFailure;
  // Runs once on the monitor thread when the device first has directories
  // it cannot watch for want of inotify watches, with how many.
  std::function<void(std::uint32_t)> OnUnwatched;
  // The tree was loaded, not scanned: the device compares every directory
  // with it once (see TCatchUp). OnCatchUp runs on the monitor thread when
  // that starts, after each directory compared, and when it ends.
  bool CatchUp = false;
  std::function<void(const TCatchUpStatus&)> OnCatchUp;
};

class TExecutive {
 public:
  // Starts the thread at once, at the program's priority. db and stopEvent
  // are borrowed and must outlive it.
  TExecutive(TMemoryDB& db, platform::TEvent& stopEvent, TExecutiveOptions options = {});
  // Sets the stop event and waits for the thread, so that no report is
  // applied after this returns.
  ~TExecutive();
  TExecutive(const TExecutive&) = delete;
  TExecutive& operator=(const TExecutive&) = delete;

  // Waits until the device is open and the callback registered: true; or
  // until the thread failed: false (Failure() says why).
  bool WaitUntilRegistered();
  // Waits for the thread to end; the stop event must have been set.
  void WaitFor();
  // What ended the thread other than the stop event: EInitialization when
  // the device could not be opened (4098) or registered with (4100), or
  // whatever applying a report raised. Null while it runs normally.
  std::exception_ptr Failure() const;

  // A control code to the open device, from any thread, once registered.
  bool DeviceControl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out = nullptr,
                     std::uint32_t outSize = 0);

  std::uint64_t ReportsApplied() const noexcept { return applied_.load(); }

  // The catch-up after a load, when asked for (CatchUp).
  TCatchUp& CatchUp() noexcept { return catchUp_; }
  // Calls the catch-up off, from any thread: the device walks on only to
  // follow the disk, reporting no more listings.
  void CancelCatchUp();

  // The routine the device calls for each report, on the monitor thread.
  static void DeviceCallback(std::uintptr_t record);

 private:
  void Execute();
  void Apply(const TChangeEvent& event);
  bool SendOption(std::uint32_t code, std::uint32_t value);
  void CheckUnwatched();
  void SetState(int state, std::exception_ptr failure = nullptr);

  TMemoryDB& db_;
  platform::TEvent& stopEvent_;
  const TExecutiveOptions options_;
  std::unique_ptr<platform::TDevice> device_;  // DeviceHandle; written before registered
  std::atomic<std::uint64_t> applied_{0};
  TCatchUp catchUp_;
  bool unwatchedTold_ = false;  // the monitor thread's own

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int state_ = 0;               // 0 starting, 1 registered, 2 ended; Guarded by mutex_.
  std::exception_ptr failure_;  // Guarded by mutex_.
  std::thread thread_;
};

}  // namespace varnoke
