// What the user sees of the catch-up after a load. While it runs, the tray
// icon's tip says so, and a notice from the icon says it once; a click on
// that notice (or the main window's menu) opens the synchronization report,
// whose progress bar follows the walk and whose list gets a line for each
// change found, up to TCatchUp::kChangesKept, then one line with the count
// of the rest. At its end, the number of changes found goes to standard
// error.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "monitor/catch_up.h"

namespace varnoke::platform {
class TLinuxDrives;
}

namespace varnoke::shell {

class TfrmSync;
class TTrayIcon;

class TCatchUpReport : public QObject {
  Q_OBJECT

 public:
  // window and drives are borrowed and must outlive the report; folders is
  // how many directories the loaded tree holds, the walk's likely length.
  TCatchUpReport(TfrmSync& window, const platform::TLinuxDrives& drives, std::size_t folders);

  // The catch-up to follow, once the monitor has it, or none once the
  // monitor has gone; borrowed.
  void Follow(TCatchUp* catchUp) noexcept { catchUp_ = catchUp; }
  // The tray icon, once there is one, or none; borrowed.
  void SetTray(TTrayIcon* tray);

  // The catch-up changed, told from any thread: the report is brought up to
  // date once the event loop gets to it.
  void Changed();
  // Brings the tip, the notice and the window up to date.
  void Update();

  // The notice the icon shows while the catch-up runs; a click on it opens
  // the report.
  static QString NoticeText();
  // A change as a line of the report.
  QString LineOf(const TTreeChange& change) const;

 private:
  void Ended(const TCatchUpStatus& status);

  TfrmSync& window_;
  const platform::TLinuxDrives& drives_;
  const std::size_t folders_;
  TCatchUp* catchUp_ = nullptr;
  TTrayIcon* tray_ = nullptr;
  std::atomic<bool> updatePending_{false};
  bool running_ = false;     // the tip says so
  bool noticed_ = false;     // the notice was shown
  bool ended_ = false;       // its end was told
  int restLine_ = -1;        // the line with the count of the rest, once there
  std::uint64_t shown_ = 0;  // changes with a line of their own
};

}  // namespace varnoke::shell
