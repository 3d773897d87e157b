// The resident program's process-wide state and its spine: StartUp, which
// prepares everything the program needs before its event loop runs, and
// ShutDown, which takes it down again and saves or discards the database
// as the way out asks.
#pragma once

#include <QObject>
#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "shell/popup_messages.h"

namespace varnoke {
class TExecutive;
class TMemoryDB;
class TPendingLoad;
}  // namespace varnoke

namespace varnoke::live {
class TLiveServer;
}  // namespace varnoke::live

namespace varnoke::platform {
struct TAccessibleRef;
class TEvent;
class THookLibrary;
enum class TSetKeyResult;
}  // namespace varnoke::platform

namespace varnoke::shell {

class TAssignHotKey;
class TCatchUpReport;
class TDesktopServices;
class TStartupForm;
class TfrmSync;
class TFormAbout;
class TFormui;
class THelpWindow;
class TTrayIcon;
struct THostServices;

// How SetKey tells the user that the hot key cannot call the program up.
enum class TKeyNotice {
  Tray,  // a note from the tray icon: nobody is waiting for an answer
  Box,   // a message box: the user has just chosen the key
};

class TProgram : public QObject {
  Q_OBJECT

 public:
  // Both are borrowed and must outlive the program.
  TProgram(THostServices& host, TDesktopServices& desktop);
  ~TProgram() override;

  // Starts reading the database file on a thread of its own when the
  // settings say that StartUp will load it, so that the file is read while
  // the windows are made; StartUp then takes the tree from there.
  void PreloadDatabase();

  // Creates the windows, none of them shown.
  void CreateWindows();

  // Prepares the resident program; true when the event loop is to run.
  // Raises EInitialization or ERegistry when the program cannot start.
  bool StartUp();
  // Stops the monitor thread, saves the database unless NoSaveOnExit, frees
  // it and removes the tray icon. Runs once; later calls do nothing.
  void ShutDown();
  // The application-wide handler of exceptions that escape event handlers.
  void AppException(std::exception_ptr error);
  // The desktop session ends, or a signal asks the program to end.
  void EndSession();
  // Exit, confirmed by the user: ends the program without saving.
  void ExitConfirmed();
  // A later start asked for the search window (`varnoke --popup`, which
  // desktops bind to their own shortcuts): the hook library reports it
  // as a press of the hot key. activationToken: what the desktop gave
  // that start to pass the focus on, or empty.
  void PopupRequested(const std::string& activationToken);

  // Runs the event loop until something ends the program, unless that
  // happened already; returns the exit code.
  int RunEventLoop();

 signals:
  // The event loop has started: the program is resident.
  void Running();

 public:
  // How long start-up waits for a tray to appear.
  std::chrono::milliseconds TrayWaitTimeout{30000};

  // True once something asked the program to end; the event loop must not
  // (or no longer) run.
  bool QuitRequested() const noexcept { return quitRequested_; }
  int ExitCode() const noexcept { return exitCode_; }

  // ---- Process-wide state ----
  THostServices& Host;
  TDesktopServices& Desktop;
  std::unique_ptr<TMemoryDB> MemoryDB;
  bool NoSaveOnExit = false;
  std::unique_ptr<platform::TEvent> StopEvent;
  // Where StartUp offers searches to other processes of the user, once the
  // monitor runs; empty for none (the default, so that programs under test
  // never answer the user's own searches).
  std::string LiveSocketName;
  std::uint16_t HotKeyCode = 0;
  std::uint32_t HotKeyShiftState = 0;
  TPopupMessages Messages;
  // The installation folder (setting Directory).
  std::string Directory;
  // The folder of the change-report device.
  std::string SystemDirectory;

  TFormui& Form() { return *form_; }
  // The splash and progress window, created by StartUp.
  TFormAbout& About() { return *about_; }
  TFormAbout* AboutIfCreated() { return about_.get(); }
  TTrayIcon* Tray() { return tray_.get(); }
  THelpWindow& Help();

  // The hot-key and startup-options dialogs, shown modally.
  void OpenHotKeyDialog();
  void OpenStartupOptionsDialog();
  TAssignHotKey& HotKeyDialog() { return *hotKeyDialog_; }
  // Created at its first opening, when it reads the settings.
  TStartupForm& StartupForm();
  // The synchronization report, created hidden with the other windows.
  TfrmSync& Sync() { return *frmSync_; }
  // Shows it over the other windows.
  void ShowSyncReport();
  // The catch-up after a load, as the user sees it; none after a scan.
  TCatchUpReport* CatchUpReport() { return catchUpReport_.get(); }

  // The text field on the accessibility bus that an edit control reported
  // by the hook library stands for; false when it is none (an X window).
  bool EditControlObject(std::uint64_t editControl, platform::TAccessibleRef& field) const;

  // Tells the user something that needs no answer: from the tray icon, or on
  // standard error when there is none.
  void Notify(const std::string& text);
  // Message 4109: how many folders go without a watch, and what to raise.
  static std::string UnwatchedText(std::uint32_t count);

  // The database file's path.
  std::string DatabaseFileName() const;
  // Message 4106 with the database file and why its last save failed.
  std::string NotSavedText() const;
  // The help file's path.
  std::string HelpFileName() const;

  // HotKeyCode and HotKeyShiftState from the settings HotKey and HotKeyShift.
  void ReadHotKey();
  // Hands the hot key to the hook library; tells the user once when it
  // cannot call the program up (another program holds it).
  platform::TSetKeyResult SetKey(TKeyNotice notice = TKeyNotice::Tray);
  // Scans the drives with the progress window up, then closes it; lets
  // ETerminate through when the user abandons the scan.
  void ScanWithProgress();
  bool ScanRunning() const noexcept { return scanning_; }
  // Waits until the monitor thread follows the disk: true, or false when it
  // failed or does not run.
  bool WaitUntilMonitoring();

 private:
  // Stops every reader of the database that has a thread of its own (the
  // monitor, the live server) and detaches the window from it; the database
  // may be saved and freed afterwards.
  void StopDatabaseReaders();
  void CheckRequiredFiles();
  void InstallHook();
  bool StartupScan();
  // catchUp: the tree was loaded, so it is compared with the disk.
  void StartMonitor(bool catchUp);
  void CancelCatchUp();
  void StartLiveServer();
  void MonitorFailed(std::exception_ptr error);
  bool AddTrayIcon();
  // Ends the event loop (and any wait inside it) with the exit code.
  void Quit(int exitCode);

  std::unique_ptr<TPendingLoad> preload_;  // started by PreloadDatabase
  std::unique_ptr<TFormui> form_;
  std::unique_ptr<TFormAbout> about_;
  std::unique_ptr<TTrayIcon> tray_;
  std::unique_ptr<THelpWindow> help_;
  std::unique_ptr<TAssignHotKey> hotKeyDialog_;
  std::unique_ptr<TStartupForm> startupForm_;
  std::unique_ptr<TfrmSync> frmSync_;
  std::unique_ptr<platform::THookLibrary> hook_;
  std::unique_ptr<TCatchUpReport> catchUpReport_;  // told by the monitor: goes after it
  std::unique_ptr<TExecutive> executive_;
  std::unique_ptr<live::TLiveServer> liveServer_;
  std::unique_ptr<TWindowMessageFilter> messageFilter_;
  bool scanning_ = false;
  bool eventLoopRunning_ = false;
  bool quitRequested_ = false;
  bool shutDown_ = false;
  int exitCode_ = 0;
  std::string pendingNotice_;                // told once the tray icon is there
  std::optional<std::string> pendingPopup_;  // asked for before the hook was installed
};

}  // namespace varnoke::shell
