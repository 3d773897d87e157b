// Change reports from inotify: a watch on every directory of the fixed
// drives, added when the device starts and whenever a directory appears.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>

#include "driver/change_source.h"
#include "driver/report_sink.h"
#include "platform/linux_file_system.h"
#include "platform/unique_fd.h"

namespace varnoke::driver {

class TInotifySource : public TChangeSource {
 public:
  TInotifySource(TReportSink& sink, platform::TLinuxFileSystem& files)
      : sink_(sink), files_(files) {}

  bool Start(const std::vector<std::string>& roots) override;
  int Fd() const override { return inotify_.Get(); }
  void OnReadable() override;
  void OnQuiet() override {
    FlushMove();
    RewalkAhead();
  }
  bool HoldsEvents() const override { return pendingMove_.has_value(); }
  void Resynchronize() override;

 private:
  // The first half of a rename, until its second half comes or it turns out
  // to have left the watched directories.
  struct TPendingMove {
    std::uint32_t cookie;
    std::string path;
    bool directory;
    bool recorded;  // a name the scan records
  };

  void Handle(int wd, std::uint32_t mask, std::uint32_t cookie, std::string_view name);
  bool Watch(const std::string& directory);
  void Forget(const std::string& directory, bool removeWatches);
  void Rename(const std::string& from, const std::string& to);
  void Appeared(const std::string& path, bool directory);
  void Vanished(const std::string& path, bool directory);
  void FlushMove();
  void RewalkAhead();

  TReportSink& sink_;
  platform::TLinuxFileSystem& files_;
  platform::TUniqueFd inotify_;
  std::unordered_map<int, std::string> pathByWatch_;  // "C:\A\" by watch
  std::map<std::string, int> watchByPath_;            // ordered: a subtree is a range
  std::optional<TPendingMove> pendingMove_;
  std::vector<std::string> walkedAhead_;  // new directories listed since the queue was last empty
};

}  // namespace varnoke::driver
