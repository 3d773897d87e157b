// Change reports from fanotify: one mark on each file system of the fixed
// drives reports every creation, deletion and rename on it, naming
// directories by file handle.
//
// A handle names a directory where it is when the event is read, which may
// be later than where it was when the event happened. So the directories
// are kept by handle in the model (TDirectoryModel), whose labels follow
// the events in order, and each event is read against it. A directory
// made on the drives is told whole by the events that follow; only one
// moved in from outside them (or found after lost events) is listed.
#pragma once

#include <linux/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "driver/barrier.h"
#include "driver/change_source.h"
#include "driver/directory_model.h"
#include "driver/reconciler.h"
#include "driver/report_sink.h"
#include "platform/drives/linux_drives.h"
#include "platform/drives/mount_table.h"
#include "platform/files/linux_file_system.h"
#include "platform/unique_fd.h"

namespace varnoke::driver {

class TFanotifySource : public TChangeSource, private TIdentifier {
 public:
  // All are borrowed and must outlive this object.
  TFanotifySource(TReportSink& sink, platform::TLinuxFileSystem& files,
                  const platform::TLinuxDrives& drives, platform::TMountTable& mounts,
                  const TSourceOptions& options)
      : sink_(sink), files_(files), drives_(drives), mounts_(mounts), options_(options) {}

  // Needs the privilege to mark whole file systems (CAP_SYS_ADMIN).
  bool Start(const std::vector<std::string>& roots) override;
  int Fd() const override { return fanotify_.Get(); }
  void OnReadable() override;
  void OnWake() override { reconciler_.OnWake(); }
  std::size_t Pending() const override { return reconciler_.Pending(); }

 private:
  // A file system's id and a handle, as bytes: a directory's identity; and
  // the entry's name for the kinds of record that carry one.
  struct TFidRecord {
    std::string key;
    std::string_view name;
  };
  struct TEventRecords {
    std::optional<TFidRecord> entry;     // DFID_NAME: the directory and the entry's name
    std::optional<TFidRecord> oldEntry;  // OLD_DFID_NAME, for a rename
    std::optional<TFidRecord> newEntry;  // NEW_DFID_NAME, for a rename
    std::optional<TFidRecord> target;    // FID: the object itself
  };

  std::string Identify(int fd, bool& refused) override;
  void Release(const std::string&) override {}

  bool Mark(const std::string& hostPath);
  void StartMarks();
  static TEventRecords ParseRecords(const char* info, std::size_t length);
  void HandleEvent(std::uint64_t mask, const char* info, std::size_t infoLength);
  // The drive-form path of a record's entry, when its directory is placed
  // and the name one the scan records; observes the event on the way.
  std::optional<std::string> PathOf(const std::optional<TFidRecord>& record, bool directory,
                                    bool* listed = nullptr);
  void Appeared(const std::string& path, bool directory, const std::optional<TFidRecord>& target,
                bool movedIn);
  void Vanished(const std::string& path, bool directory);
  void Renamed(const std::string& from, const std::string& to, bool directory,
               const std::optional<TFidRecord>& target);

  TReportSink& sink_;
  platform::TLinuxFileSystem& files_;
  const platform::TLinuxDrives& drives_;
  platform::TMountTable& mounts_;
  const TSourceOptions& options_;
  platform::TUniqueFd fanotify_;
  TDirectoryModel model_;
  TBarrierFolder marks_;
  std::string marksKey_;
  std::unordered_map<int, __kernel_fsid_t> fsids_;  // by mount id
  TReconciler reconciler_{model_, sink_, files_, *this, marks_};
};

}  // namespace varnoke::driver
