// TFormui: the search window. A search box with its Find button, the result
// grid, a status line with the number of hits, the main menu and the grid's
// pop-up menu. It is hidden most of the time: the hot key and the tray icon
// pop it up, and it hides again after a choice, on Esc, and when it is
// closed or minimized. Only Exit and the end of the session end the program.
#pragma once

#include <QMainWindow>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "shell/desktop_services.h"
#include "shell/row_texts.h"
#include "shell/search_runner.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;

namespace varnoke {
class TMemoryDB;
}

namespace varnoke::shell {

class TProgram;
class TResultGrid;

// Mouse messages of the tray icon, as its registered message carries them.
inline constexpr std::uint64_t kWmLButtonDown = 0x0201;
inline constexpr std::uint64_t kWmLButtonDblClk = 0x0203;
inline constexpr std::uint64_t kWmRButtonDown = 0x0204;
inline constexpr std::uint64_t kWmMButtonDown = 0x0207;

class TFormui : public QMainWindow {
  Q_OBJECT

 public:
  // program is borrowed and must outlive the window.
  explicit TFormui(TProgram& program);
  ~TFormui() override;

  // The database whose result list the grid shows; borrowed, may be null.
  // Its searches run on a thread of their own, which this starts, and
  // stops (after a search on its way has ended) when db changes.
  void SetDatabase(TMemoryDB* db);

  // ---- Searching and the results ----
  // Searches for the text in the search box now, shows the rows, selects
  // the first and gives the grid the keyboard.
  void RunSearch();
  // Enter in the search box: RunSearch, unless the rows on view are those
  // of the text as typed (searched as it was typed), which are kept.
  void SearchBoxEnter();
  void SetResultsGridWidths();
  // The result action: a double-click, or Enter in the grid.
  void gridSearchResultsDblClick();
  void OpenClick();
  void ExploreClick();
  void Copy1Click();
  // The monitor thread applied a change report; from any thread. The rows
  // on view are repainted once the event loop gets to it.
  void ReportApplied();

  // ---- The View menu ----
  // Reads the settings DrivePaths and SearchAsYouType: Linux paths and
  // searching as the user types where they are missing.
  void ReadViewSettings();
  void LinuxPaths1Click();
  void DrivePaths1Click();
  void SearchAsYouType1Click();
  TPathForm PathForm() const noexcept { return pathForm_; }
  // Shows the rows in that form; the settings are left as they are.
  void SetPathForm(TPathForm form);
  // The search whose rows the grid shows (without their texts).
  const TSearchOutcome& ShownSearch() const noexcept { return shownOutcome_; }
  bool SearchesAsYouType() const noexcept { return searchAsYouType_; }
  // ---- Commands of the menu ----
  void ScanDrives1Click();
  void SetHotKey1Click();
  void SetStartupOptions1Click();
  // Opens the synchronization report: what the catch-up after a load found.
  void SynchronizationReport1Click();
  void Exit1Click();
  void Contents1Click();
  void About1Click();
  // Help on the topic of a help context number.
  void ShowHelp(int context);

  // ---- Pop-up, hiding and delivery ----
  // The window procedure for the program's registered messages: true when
  // message was one of them.
  bool HandleWindowMessage(std::uint32_t message, std::uint64_t wParam, std::uint64_t lParam);
  // A click on the tray icon (the tray's registered message carries the
  // same mouse message): shows the window where it last stood.
  void TrayPopup(std::uint64_t mouseMessage);
  void HideSearchWindow();
  // Puts a row's host path into TargetEditControl, which it clears: in
  // place of a text field's whole text where the field is on the
  // accessibility bus, else typed, else on the clipboard.
  void DeliverPath(const std::string& text);

  // The host form of a row's full path: what leaves the program for other
  // programs. A blanked row's text stays as it is.
  std::string RowHostPath(int index);

  // ---- State ----
  bool AllowClose = false;
  // The foreign edit control waiting for a path, or none.
  TWindowHandle TargetEditControl = 0;
  // The window the search window last popped up over, or none.
  TWindowHandle TargetWindow = 0;

  // ---- Controls, named as in the window's design ----
  QWidget* Panel1 = nullptr;
  QWidget* Panel2 = nullptr;
  QWidget* Panel3 = nullptr;
  QLineEdit* editSearchFilename = nullptr;
  QPushButton* btnFind = nullptr;
  QPushButton* Button1 = nullptr;  // the default button (Enter)
  QPushButton* Button2 = nullptr;  // the cancel button (Esc)
  TResultGrid* gridSearchResults = nullptr;
  QLabel* StatusPanel0 = nullptr;
  QMenu* pmListBox = nullptr;
  QAction* ScanDrives1 = nullptr;
  QAction* SetHotKey1 = nullptr;
  QAction* SetStartupOptions1 = nullptr;
  QAction* SynchronizationReport1 = nullptr;
  QAction* Exit1 = nullptr;
  QAction* Copy1 = nullptr;
  QAction* LinuxPaths1 = nullptr;
  QAction* DrivePaths1 = nullptr;
  QAction* SearchAsYouType1 = nullptr;
  QAction* Contents1 = nullptr;
  QAction* About1 = nullptr;
  QAction* Open = nullptr;
  QAction* Explore = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  void CreateControls();
  void CreateMenus();
  QAction* AddCommand(QMenu* menu, const QString& caption, const char* name, int helpContext,
                      void (TFormui::*handler)());
  void AddHiddenEntries(QMenu* file, QMenu* help);
  void FormResize();
  bool FormKeyDown(QKeyEvent* key);
  void Button1Click();
  void HeaderReleased(int column);
  // The selected row, when it is a data row; else -1.
  int SelectedDataIndex() const;

  void HotKeyPopup(TWindowHandle target);
  void PlaceOver(const TScreenRect& frame);
  void CentreOnPointerScreen();
  void ShowAndFocus();

  void OpenFile(const std::string& hostPath);
  void PutOnClipboard(const std::string& text);

  void CreateViewMenu();
  void SetSearchAsYouType(bool on);
  void SearchTextChanged();
  // A search finished: its rows are shown unless newer ones are.
  void SearchFinished(const TSearchOutcome& outcome);
  void ShowStatus();
  void RepaintAfterReports();

  TProgram& program_;
  std::unique_ptr<TSearchRunner> runner_;
  // Tells the outcomes of the current runner from those of one before it.
  std::uint64_t runnerSerial_ = 0;
  // What the status line says of the rows shown.
  TSearchOutcome shownOutcome_;
  TPathForm pathForm_ = TPathForm::Linux;
  bool searchAsYouType_ = true;
  // Change reports applied to the database, counted from any thread.
  std::atomic<std::uint64_t> reportsApplied_{0};
  // Set by the monitor thread when a repaint is queued, cleared by the repaint.
  std::atomic<bool> repaintPending_{false};
  // Reports come in bursts: the rows are read again once per burst.
  QTimer* reportTimer_ = nullptr;
  // A row could not be read while a search held the lock: painted again soon.
  QTimer* deferredTimer_ = nullptr;
};

}  // namespace varnoke::shell
