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
  StopDatabaseReaders();

  if (!NoSaveOnExit && MemoryDB != nullptr) {
    if (MemoryDB->SaveToFile()) {
      Host.Settings.WriteDWORDSetting(settings::SettingsKey, "SaveSuccessful", 1);
    } else {
      // SaveSuccessful stays as it is: the next start must not trust the
      // file on disk to be this tree.
      std::fprintf(stderr, "varnoke: %s\n", NotSavedText().c_str());
    }
  }
  MemoryDB.reset();
  if (tray_ != nullptr) tray_->RemoveTrayIcon();
}

}  // namespace varnoke::shell
