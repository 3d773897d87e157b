// Change reports from inotify: a watch on every directory of the fixed
// drives. The watches come from listings (see TReconciler): at start for
// every directory (placed at once after a scan, by the walk that compares
// with the tree after a load), and for each directory that appears later,
// which is listed once it has its watch, because what was made in it
// before the watch came is told by no event.
//
// When the kernel will give no more watches, the directories without one
// are counted (Unwatched) and listed again a few at a time, on a timer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>

#include "driver/barrier.h"
#include "driver/change_source.h"
#include "driver/directory_model.h"
#include "driver/reconciler.h"
#include "driver/report_sink.h"
#include "platform/files/linux_file_system.h"
#include "platform/unique_fd.h"

namespace varnoke::driver {

class TInotifySource : public TChangeSource, private TIdentifier {
 public:
  // All are borrowed and must outlive this object.
  TInotifySource(TReportSink& sink, platform::TLinuxFileSystem& files,
                 const TSourceOptions& options)
      : sink_(sink), files_(files), options_(options) {}

  bool Start(const std::vector<std::string>& roots) override;
  int Fd() const override { return inotify_.Get(); }
  void OnReadable() override;
  void OnQuiet() override;
  bool HoldsEvents() const override { return pendingMove_.has_value(); }
  void OnWake() override { reconciler_.OnWake(); }
  int TimerFd() const override { return timer_.Get(); }
  void OnTimer() override;
  std::size_t Pending() const override {
    return reconciler_.Pending() + (pendingMove_.has_value() ? 1 : 0);
  }
  std::size_t Unwatched() const override { return model_.UnwatchableCount(); }
  void CatchUp() override {
    model_.MarkUnwatchable(model_.UnwatchableCount());
    reconciler_.OnDrained();
  }

 private:
  // The first half of a rename, until its second half comes or it turns out
  // to have left the watched directories.
  struct TPendingMove {
    std::uint32_t cookie;
    std::string path;
    bool directory;
    bool recorded;  // a name the scan records
    bool listed;    // its directory was listed in the round under way
  };

  std::string Identify(int fd, bool& refused) override;
  void Release(const std::string& identity) override;

  void Handle(int wd, std::uint32_t mask, std::uint32_t cookie, std::string_view name);
  void HandleMove(std::uint32_t cookie, const std::string& path, bool directory, bool recorded);
  void Appeared(const std::string& path, bool directory);
  void Vanished(const std::string& path, bool directory);
  void Renamed(const std::string& from, const std::string& to, bool directory);
  void FlushMove();
  void UpdateTimer();

  TReportSink& sink_;
  platform::TLinuxFileSystem& files_;
  const TSourceOptions& options_;
  platform::TUniqueFd inotify_;
  platform::TUniqueFd timer_;
  bool timerArmed_ = false;
  TDirectoryModel model_;
  TBarrierFolder marks_;
  int marksWatch_ = -1;
  TReconciler reconciler_{model_, sink_, files_, *this, marks_};
  std::unordered_set<int> watches_;  // the watches this source holds
  std::optional<TPendingMove> pendingMove_;
};

}  // namespace varnoke::driver
