// TFormui: the search window. A search box with its Find button, the result
// grid, a status line with the number of hits, the main menu and the grid's
// pop-up menu. It is hidden most of the time: the hot key and the tray icon
// pop it up, and it hides again after a choice, on Esc, and when it is
// closed or minimized. Only Exit and the end of the session end the program.
#pragma once

#include <QMainWindow>
#include <atomic>
#include <cstdint>
#include <string>

#include "shell/desktop_services.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

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
  void SetDatabase(const TMemoryDB* db);

  // ---- Searching and the results ----
  void RunSearch();
  void SetResultsGridWidths();
  // The result action: a double-click, or Enter in the grid.
  void gridSearchResultsDblClick();
  void OpenClick();
  void ExploreClick();
  void Copy1Click();
  // The monitor thread applied a change report; from any thread. The rows
  // on view are repainted once the event loop gets to it.
  void ReportApplied();

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
  void HideSearchWindow();
  // Types a row's host path into TargetEditControl, which it clears.
  void DeliverPath(const std::string& text);

  // The host form of a row's full path: what leaves the program for other
  // programs. A blanked row's text stays as it is.
  std::string RowHostPath(int index) const;

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

  void TrayPopup(std::uint64_t mouseMessage);
  void HotKeyPopup(TWindowHandle target);
  void PlaceOver(const TScreenRect& frame);
  void ShowAndFocus();

  void OpenFile(const std::string& hostPath);
  void PutOnClipboard(const std::string& text);

  TProgram& program_;
  // Set by the monitor thread when a repaint is queued, cleared by the repaint.
  std::atomic<bool> repaintPending_{false};
};

}  // namespace varnoke::shell
