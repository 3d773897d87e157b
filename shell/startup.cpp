// StartUp and what it calls, in the order the program comes up.
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>

#include "db/memory_db.h"
#include "db/pending_load.h"
#include "db/terminate.h"
#include "live/live_server.h"
#include "monitor/executive.h"
#include "monitor/initialization_error.h"
#include "platform/desktop/watch_limit.h"
#include "platform/drives/drive_overlaps.h"
#include "platform/messages.h"
#include "platform/runtime/alertable_wait.h"
#include "platform/runtime/device.h"
#include "platform/runtime/hook_library.h"
#include "settings/settings_store.h"
#include "shell/about.h"
#include "shell/catch_up_report.h"
#include "shell/frm_sync.h"
#include "shell/host_services.h"
#include "shell/key_names.h"
#include "shell/program.h"
#include "shell/scan_progress.h"
#include "shell/tray_icon.h"
#include "shell/uiform.h"

namespace varnoke::shell {
namespace {

std::uint32_t ReadSetting(const THostServices& host, std::string_view name) {
  return host.Settings.ReadDWORDSetting(settings::SettingsKey, name);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

EInitialization StartupError(int id, std::string_view file) {
  if (file.empty()) return EInitialization(platform::FormatMessage(id, {"Varnoke"}));
  return EInitialization(platform::FormatMessage(id, {file, "Varnoke", "Varnoke"}));
}

// Clears a flag when the scope ends, however it ends.
class TFlagScope {
 public:
  explicit TFlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~TFlagScope() { flag_ = false; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace

void TProgram::PreloadDatabase() {
  try {
    if (ReadSetting(Host, "SaveSuccessful") != 1 && ReadSetting(Host, "StartupOptions") != 2)
      return;
    const std::string directory =
        Host.Settings.ReadFolderSetting(settings::SettingsKey, "Directory");
    preload_ = std::make_unique<TPendingLoad>(Host.Services(), directory + "/memdb.dat");
  } catch (const settings::ERegistry&) {
    // StartUp reads the settings again and reports what is wrong.
  }
}

bool TProgram::StartUp() {
  MemoryDB.reset();

  Directory = Host.Settings.ReadFolderSetting(settings::SettingsKey, "Directory");
  // A folder that cannot be entered shows in the file check that follows.
  [[maybe_unused]] const int entered = ::chdir(Directory.c_str());
  CheckRequiredFiles();

  about_ = std::make_unique<TFormAbout>();
  about_->OnScanCancelled = [this] {
    if (MemoryDB != nullptr) MemoryDB->ScanCancelRequested = true;
  };
  if (ReadSetting(Host, "ShowSplash") == 1) about_->SetSplashMode(TSplashMode::Splash);

  MemoryDB = std::make_unique<TMemoryDB>(Host.Services());
  form_->SetDatabase(MemoryDB.get());
  form_->ReadViewSettings();
  NoSaveOnExit = false;
  const std::uint32_t saved = ReadSetting(Host, "SaveSuccessful");
  StopEvent = std::make_unique<platform::TEvent>(false, false);

  InstallHook();
  ReadHotKey();
  SetKey();
  // Before the user starts the applications that are to take paths.
  if (!Desktop.SwitchAccessibilityOn())
    std::fprintf(stderr,
                 "varnoke: no accessibility bus: chosen paths are typed or put on the "
                 "clipboard\n");
  if (pendingPopup_) {
    hook_->ReportHotKey(*pendingPopup_);
    pendingPopup_.reset();
  }
  if (!RegisterPopupMessages(Desktop, Messages))
    throw StartupError(platform::kMsgMessagesNotRegistered, {});
  messageFilter_ = std::make_unique<TWindowMessageFilter>(Desktop, *form_);
  QCoreApplication::instance()->installNativeEventFilter(messageFilter_.get());

  QCoreApplication::processEvents();
  if (quitRequested_) {
    // Ended before there was a database: there is nothing to save, and the
    // saved one must stay as it is.
    NoSaveOnExit = true;
    return false;
  }

  const std::uint32_t options = ReadSetting(Host, "StartupOptions");
  bool loaded = false;
  if (saved == 1 || options == 2) {
    loaded = MemoryDB->LoadFromFile(DatabaseFileName(), preload_.get());
    preload_.reset();
    if (!loaded && !StartupScan()) return false;
    Host.Settings.WriteDWORDSetting(settings::SettingsKey, "SaveSuccessful", 0);
  } else {
    preload_.reset();
    if (!StartupScan()) return false;
  }

  // Only a complete tree may meet change reports. A loaded one may differ
  // from the disk: what changed while the program was not running is
  // caught up with.
  StartMonitor(loaded);
  StartLiveServer();
  return AddTrayIcon();
}

void TProgram::CheckRequiredFiles() {
  if (!FileExists(SystemDirectory + "/varnoke.vxd"))
    throw StartupError(platform::kMsgDeviceLoadFailed, "varnoke.vxd");
  if (!FileExists(Directory + "/mhook.dll"))
    throw StartupError(platform::kMsgHookLoadFailed, "mhook.dll");
}

void TProgram::InstallHook() {
  std::string problem;
  hook_ = platform::THookLibrary::Load(Directory + "/mhook.dll", &problem);
  if (hook_ == nullptr || !hook_->InstallHook(1, form_->winId())) {
    if (!problem.empty()) std::fprintf(stderr, "varnoke: %s\n", problem.c_str());
    throw StartupError(platform::kMsgHookInitFailed, "Varnoke");
  }
}

bool TProgram::StartupScan() {
  try {
    ScanWithProgress();
  } catch (const ETerminate&) {
    NoSaveOnExit = true;
    return false;
  }
  return true;
}

void TProgram::ScanWithProgress() {
  for (const platform::TDriveOverlap& overlap : platform::FindDriveOverlaps(Host.Drives))
    std::fprintf(stderr, "varnoke: %s\n", platform::DescribeDriveOverlap(overlap).c_str());
  about_->SetSplashMode(TSplashMode::ModelessScan);
  MemoryDB->ScanCancelRequested = false;
  // A scan leaves nothing to catch up with.
  CancelCatchUp();
  TScanProgress progress(*about_);
  try {
    const TFlagScope scanning(scanning_);
    MemoryDB->ScanDrives(DatabaseFileName(), progress);
  } catch (...) {
    // The question already closed the window when the user abandoned the
    // scan; any other end closes it here.
    about_->CloseSplash();
    throw;
  }
  about_->CloseSplash();
  // The tree in memory is sound either way; the user learns that the file
  // on disk is not it.
  if (!MemoryDB->SavedByLastScan()) Notify(NotSavedText());
}

std::string TProgram::NotSavedText() const {
  std::string reason = MemoryDB != nullptr ? MemoryDB->LastFileReport().Reason : std::string();
  if (reason.empty()) reason = "reason unknown";
  return platform::FormatMessage(platform::kMsgNotSaved, {DatabaseFileName(), reason});
}

std::string TProgram::UnwatchedText(std::uint32_t count) {
  // Without the limit at hand, the count itself stands for it: what to
  // raise it to is then a guess on the safe side.
  const std::int64_t limit = platform::ReadWatchLimit().value_or(count);
  return platform::FormatMessage(
      platform::kMsgFoldersUnwatched,
      {static_cast<std::int64_t>(count), limit, "Varnoke", platform::kWatchLimitSetting,
       platform::SuggestedWatchLimit(limit, count)});
}

void TProgram::StartMonitor(bool catchUp) {
  TExecutiveOptions options;
  if (catchUp) {
    std::size_t folders = 0;
    {
      std::lock_guard guard(MemoryDB->Lock);
      folders = MemoryDB->DDList().DirectoryCount();
    }
    catchUpReport_ = std::make_unique<TCatchUpReport>(*frmSync_, Host.Drives, folders);
    TCatchUpReport* report = catchUpReport_.get();
    options.CatchUp = true;
    options.OnCatchUp = [report](const TCatchUpStatus&) { report->Changed(); };
  }
  TFormui* form = form_.get();
  options.AfterReport = [form] { form->ReportApplied(); };
  options.OnFailure = [this](std::exception_ptr error) {
    QMetaObject::invokeMethod(
        this, [this, error] { MonitorFailed(error); }, Qt::QueuedConnection);
  };
  options.OnUnwatched = [this](std::uint32_t count) {
    QMetaObject::invokeMethod(
        this, [this, count] { Notify(UnwatchedText(count)); }, Qt::QueuedConnection);
  };
  executive_ = std::make_unique<TExecutive>(*MemoryDB, *StopEvent, std::move(options));
  if (catchUpReport_ != nullptr) catchUpReport_->Follow(&executive_->CatchUp());
}

void TProgram::StartLiveServer() {
  if (LiveSocketName.empty()) return;
  std::string problem;
  liveServer_ = live::TLiveServer::Start(*MemoryDB, LiveSocketName, &problem);
  // Without it varnoke-find reads the file, as it always could.
  if (liveServer_ == nullptr)
    std::fprintf(stderr, "varnoke: searches from the command line read the database file: %s\n",
                 problem.empty() ? "the socket is taken" : problem.c_str());
}

bool TProgram::AddTrayIcon() {
  tray_ = std::make_unique<TTrayIcon>(Desktop,
                                      [this](std::uint64_t mouse) { form_->TrayPopup(mouse); });
  tray_->OnMessageClicked = [this] {
    if (tray_->LastMessage() == TCatchUpReport::NoticeText()) ShowSyncReport();
  };
  if (catchUpReport_ != nullptr) catchUpReport_->SetTray(tray_.get());
  if (!tray_->AddTrayIcon(TrayWaitTimeout) && !quitRequested_) {
    // Without a tray the program still answers its hot key.
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(TrayWaitTimeout);
    std::fprintf(stderr, "varnoke: %s\n",
                 platform::FormatMessage(platform::kMsgNoTray,
                                         {static_cast<std::int64_t>(seconds.count()), "Varnoke",
                                          HotKeyText(HotKeyCode, HotKeyShiftState)})
                     .c_str());
  }
  // The catch-up's notice, once there is an icon to show it.
  if (catchUpReport_ != nullptr) catchUpReport_->Update();
  if (!pendingNotice_.empty()) {
    const std::string notice = std::move(pendingNotice_);
    pendingNotice_.clear();
    if (tray_->Added()) tray_->ShowMessage(QString::fromStdString(notice));
  }
  return !quitRequested_;
}

}  // namespace varnoke::shell
