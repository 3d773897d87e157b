// The change-report device: one open of varnoke.vxd.
//
// Registering a callback starts a reader thread that takes the kernel's
// events from a change source, turns them into reports, and queues one
// asynchronous procedure call per report to the thread that registered.
// A report stays valid until it is acknowledged or the device is closed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "driver/change_source.h"
#include "driver/report_sink.h"
#include "platform/device_abi.h"
#include "platform/drives/drive_map.h"
#include "platform/drives/hive_drive_overrides.h"
#include "platform/drives/linux_drives.h"
#include "platform/drives/mount_table.h"
#include "platform/files/linux_file_system.h"
#include "platform/hive/hive_file.h"
#include "platform/wake_counter.h"

namespace varnoke::driver {

class TVarnokeDevice : public TReportSink {
 public:
  explicit TVarnokeDevice(const TVxdHost& host);
  ~TVarnokeDevice() override;
  TVarnokeDevice(const TVarnokeDevice&) = delete;
  TVarnokeDevice& operator=(const TVarnokeDevice&) = delete;

  // The control codes of the protocol; true when carried out.
  bool Control(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
               std::uint32_t outSize, std::uint32_t* bytesReturned);

  // TReportSink, for the reader thread.
  void Report(std::uint32_t code, std::uint32_t info, std::string path,
              std::string newPath) override;
  std::uint64_t ReportCount() const override { return reported_; }
  bool HandledUpTo(std::uint64_t count) override;
  bool Stopping() const override { return stopping_; }
  bool ComparisonCalledOff() const override { return callOff_; }

 private:
  using TCallback = void (*)(std::uintptr_t);
  struct TRecord {
    TChangeEvent event{};
    std::string path;
    std::string newPath;
  };

  bool Register(TCallback callback);
  void Unregister();
  void Acknowledge(const void* record);
  void CountHandled();
  void ReadLoop();
  std::uint32_t WaitSettled(std::uint32_t timeoutMs);
  void AnswerQuestion();

  const TVxdHost host_;
  // The drives as the program sees them: its drive map, mounts and hive.
  platform::THiveFile hive_;
  platform::THiveDriveTypeOverrides overrides_{hive_};
  platform::TDriveMap map_;
  platform::TMountTable mounts_;
  platform::TLinuxDrives drives_{map_, mounts_, &overrides_};
  platform::TLinuxFileSystem files_{drives_, mounts_};

  std::uint32_t requestedSource_ = VXD_SOURCE_AUTOMATIC;
  std::uint32_t activeSource_ = VXD_SOURCE_AUTOMATIC;
  TSourceOptions options_;
  std::unique_ptr<TChangeSource> source_;
  std::thread reader_;
  platform::TWakeCounter wake_;  // ends the reader's waits
  std::atomic<bool> stopping_{false};
  std::atomic<bool> paused_{false};
  std::atomic<bool> callOff_{false};  // the program called the comparison off

  // Reports made by the reader, and handled by the program: acknowledged,
  // or dropped because nobody was registered to take them.
  std::uint64_t reported_ = 0;  // the reader's own
  std::atomic<std::uint64_t> handled_{0};
  std::atomic<std::uint64_t> wantHandled_{0};  // wake the reader when handled_ reaches it
  std::atomic<std::uint32_t> unwatched_{0};    // published by the reader

  // Whether everything has settled: a question for the reader, answered
  // once it has read what the kernel holds, made every listing asked for
  // and seen every report handled.
  std::mutex questionMutex_;
  std::condition_variable answered_;
  std::uint64_t questionsAsked_ = 0;     // Guarded by questionMutex_.
  std::uint64_t questionsAnswered_ = 0;  // Guarded by questionMutex_.
  std::uint64_t questionsSeen_ = 0;      // the reader's own
  std::uint32_t stillPending_ = 0;       // Guarded by questionMutex_.

  std::mutex mutex_;
  TCallback callback_ = nullptr;  // Guarded by mutex_.
  void* thread_ = nullptr;        // the registered thread's queue; Guarded by mutex_.
  std::unordered_map<const void*, std::unique_ptr<TRecord>> records_;  // Guarded by mutex_.
};

}  // namespace varnoke::driver
