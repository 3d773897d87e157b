#include "shell/program.h"

#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>

#include "db/memory_db.h"
#include "db/pending_load.h"
#include "db/terminate.h"
#include "live/live_server.h"
#include "monitor/executive.h"
#include "platform/messages.h"
#include "platform/runtime/alertable_wait.h"
#include "platform/runtime/device.h"
#include "platform/runtime/hook_library.h"
#include "settings/settings_store.h"
#include "shell/about.h"
#include "shell/app_exception.h"
#include "shell/assign_hot_key.h"
#include "shell/catch_up_report.h"
#include "shell/desktop_services.h"
#include "shell/frm_sync.h"
#include "shell/help_window.h"
#include "shell/host_services.h"
#include "shell/key_names.h"
#include "shell/message_box.h"
#include "shell/resources.h"
#include "shell/startup_form.h"
#include "shell/tray_icon.h"
#include "shell/uiform.h"

namespace varnoke::shell {

TProgram::TProgram(THostServices& host, TDesktopServices& desktop)
    : Host(host), Desktop(desktop), SystemDirectory(platform::GetSystemDirectory()) {
  InitResources();
}

TProgram::~TProgram() {
  // Whatever way out was taken, nothing may outlive the database it uses.
  StopDatabaseReaders();
  MemoryDB.reset();
}

void TProgram::StopDatabaseReaders() {
  // The monitor thread is stopped and waited for first, so that no report
  // is applied to a database that is being saved or freed.
  if (StopEvent != nullptr) StopEvent->Set();
  executive_.reset();
  // The catch-up went with it: a report still queued finds nothing to show.
  if (catchUpReport_ != nullptr) catchUpReport_->Follow(nullptr);
  // Searches from other processes run on the server's own thread.
  liveServer_.reset();
  if (form_ != nullptr) form_->SetDatabase(nullptr);
}

void TProgram::CreateWindows() {
  form_ = std::make_unique<TFormui>(*this);
  frmSync_ = std::make_unique<TfrmSync>();
  frmSync_->OnCancelScan = [this] {
    if (MemoryDB != nullptr) MemoryDB->ScanCancelRequested = true;
    CancelCatchUp();
  };
  hotKeyDialog_ = std::make_unique<TAssignHotKey>(*this);
}

std::string TProgram::DatabaseFileName() const {
  return Directory + "/memdb.dat";
}

std::string TProgram::HelpFileName() const {
  const std::string installed = Directory + "/vk96.html";
  if (::access(installed.c_str(), R_OK) == 0) return installed;
  // Beside the program: <prefix>/share/varnoke, as installed or built.
  return QCoreApplication::applicationDirPath().toStdString() + "/../share/varnoke/vk96.html";
}

THelpWindow& TProgram::Help() {
  if (help_ == nullptr)
    help_ = std::make_unique<THelpWindow>(QString::fromStdString(HelpFileName()));
  return *help_;
}

void TProgram::ShowSyncReport() {
  frmSync_->show();
  frmSync_->raise();
  frmSync_->activateWindow();
}

void TProgram::CancelCatchUp() {
  if (executive_ == nullptr || catchUpReport_ == nullptr) return;
  executive_->CancelCatchUp();
  catchUpReport_->Update();
}

void TProgram::OpenHotKeyDialog() {
  hotKeyDialog_->Execute();
}

TStartupForm& TProgram::StartupForm() {
  // Its controls are read from the settings once; created at the first
  // opening, a setting that cannot be read reaches the program's handler
  // instead of stopping the windows' creation.
  if (startupForm_ == nullptr) {
    startupForm_ = std::make_unique<TStartupForm>(Host.Settings, Host.AutoStart);
    startupForm_->OnHelp = [this](int context) { Help().ShowTopic(context); };
  }
  return *startupForm_;
}

void TProgram::OpenStartupOptionsDialog() {
  StartupForm().Execute();
}

void TProgram::ReadHotKey() {
  HotKeyCode = static_cast<std::uint16_t>(
      Host.Settings.ReadDWORDSetting(settings::SettingsKey, "HotKey") & 0xFFFF);
  HotKeyShiftState = Host.Settings.ReadDWORDSetting(settings::SettingsKey, "HotKeyShift");
}

platform::TSetKeyResult TProgram::SetKey(TKeyNotice notice) {
  const platform::TSetKeyResult result = hook_->SetKey(HotKeyCode, HotKeyShiftState);
  const std::string key = HotKeyText(HotKeyCode, HotKeyShiftState);
  std::string text;
  if (result == platform::TSetKeyResult::HeldElsewhere) {
    text = platform::FormatMessage(platform::kMsgHotKeyInUse, {key, "Varnoke"});
  } else if (result == platform::TSetKeyResult::NoSuchKey) {
    text = platform::FormatMessage(platform::kMsgHotKeyNotGrabbed, {key, "Varnoke"});
  }
  if (text.empty()) return result;
  if (notice == TKeyNotice::Box) {
    MessageBox(nullptr, QString::fromStdString(text), QStringLiteral("Varnoke"),
               kMbOk | kMbIconWarning);
  } else {
    Notify(text);
  }
  return result;
}

bool TProgram::EditControlObject(std::uint64_t editControl, platform::TAccessibleRef& field) const {
  return hook_ != nullptr && hook_->EditControlObject(editControl, field);
}

void TProgram::Notify(const std::string& text) {
  std::fprintf(stderr, "varnoke: %s\n", text.c_str());
  if (tray_ != nullptr && tray_->Added()) {
    tray_->ShowMessage(QString::fromStdString(text));
  } else if (tray_ == nullptr) {
    // Start-up has not come to the tray yet: the icon tells it once it is there.
    if (!pendingNotice_.empty()) pendingNotice_ += "\n";
    pendingNotice_ += text;
  }
}

void TProgram::AppException(std::exception_ptr error) {
  bool terminate = false;
  try {
    std::rethrow_exception(error);
  } catch (const ETerminate&) {
    terminate = true;
  } catch (...) {
  }
  if (terminate) {
    NoSaveOnExit = true;
  } else {
    MessageBox(nullptr, ExceptionMessage(error), QStringLiteral("Varnoke"), kMbIconError);
  }
  Quit(exitCode_);
}

void TProgram::MonitorFailed(std::exception_ptr error) {
  // The database stopped following the disk; it is complete, so it is
  // saved on the way out.
  ShowLastChanceError(error);
  Quit(1);
}

void TProgram::EndSession() {
  if (form_ != nullptr) {
    form_->AllowClose = true;
    form_->close();
  }
  Quit(exitCode_);
}

void TProgram::ExitConfirmed() {
  NoSaveOnExit = true;
  if (hook_ != nullptr) hook_->InstallHook(0, form_->winId());
  form_->AllowClose = true;
  Quit(exitCode_);
}

void TProgram::PopupRequested(const std::string& activationToken) {
  if (hook_ == nullptr) {
    // Asked before the hook is there: reported once it is.
    pendingPopup_ = activationToken;
    return;
  }
  hook_->ReportHotKey(activationToken);
}

void TProgram::Quit(int exitCode) {
  exitCode_ = exitCode;
  quitRequested_ = true;
  // A scan on its way would leave half a tree: it is abandoned, and an
  // abandoned scan saves nothing.
  if (scanning_ && MemoryDB != nullptr) MemoryDB->ScanCancelRequested = true;
  if (tray_ != nullptr) tray_->CancelWait();
  if (eventLoopRunning_) QCoreApplication::exit(exitCode);
}

bool TProgram::WaitUntilMonitoring() {
  return executive_ != nullptr && executive_->WaitUntilRegistered();
}

int TProgram::RunEventLoop() {
  if (quitRequested_) return exitCode_;
  eventLoopRunning_ = true;
  QMetaObject::invokeMethod(this, &TProgram::Running, Qt::QueuedConnection);
  QCoreApplication::exec();
  eventLoopRunning_ = false;
  return exitCode_;
}

}  // namespace varnoke::shell
