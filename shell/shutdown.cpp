// ShutDown: the way down, whichever way out the program takes.
#include <cstdio>

#include "db/memory_db.h"
#include "live/live_server.h"
#include "monitor/executive.h"
#include "platform/messages.h"
#include "platform/runtime/alertable_wait.h"
#include "settings/settings_store.h"
#include "shell/catch_up_report.h"
#include "shell/host_services.h"
#include "shell/program.h"
#include "shell/tray_icon.h"
#include "shell/uiform.h"

namespace varnoke::shell {

void TProgram::ShutDown() {
  if (shutDown_) return;
  shutDown_ = true;
  // The monitor thread is stopped and waited for first, so that no report
  // is applied during the save or to a freed database.
  if (StopEvent != nullptr) StopEvent->Set();
  executive_.reset();
  // The catch-up went with it: a report still queued finds nothing to show.
  if (catchUpReport_ != nullptr) catchUpReport_->Follow(nullptr);
  // Searches from other processes end before the save and the freeing of
  // the tree.
  liveServer_.reset();

  if (!NoSaveOnExit && MemoryDB != nullptr) {
    if (MemoryDB->SaveToFile()) {
      Host.Settings.WriteDWORDSetting(settings::SettingsKey, "SaveSuccessful", 1);
    } else {
      // SaveSuccessful stays as it is: the next start must not trust the
      // file on disk to be this tree.
      std::fprintf(stderr, "varnoke: %s\n", NotSavedText().c_str());
    }
  }
  if (form_ != nullptr) form_->SetDatabase(nullptr);
  MemoryDB.reset();
  if (tray_ != nullptr) tray_->RemoveTrayIcon();
}

}  // namespace varnoke::shell
