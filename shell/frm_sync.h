// TfrmSync: the synchronization report, a resizable window with a progress
// bar and a list of report lines that can be saved to synclog.dat: what the
// catch-up after a load found. Its File menu can also stop the catch-up or
// a running scan. Created hidden; closing or Exit hides it with its
// contents kept.
#pragma once

#include <QMainWindow>
#include <functional>

class QAction;
class QLabel;
class QListWidget;
class QProgressBar;

namespace varnoke::shell {

class TfrmSync : public QMainWindow {
  Q_OBJECT

 public:
  explicit TfrmSync(QWidget* parent = nullptr);

  // Appends a report line; replaces the line at index.
  void AddLine(const QString& line);
  void SetLine(int index, const QString& line);
  int LineCount() const;
  // Moves the progress bar (0 to 100; beyond shows as full).
  void SetProgress(int position);

  // Lays the controls out for an outer window size in design pixels.
  void FormResize(int outerWidth, int outerHeight);

  // File | Cancel: stops the catch-up, and asks a running scan to stop
  // (ScanCancelRequested).
  void Cancel1Click();
  // File | Exit: hides the window.
  void Exit1Click();
  // Debug | Save to disk ...: writes every line, each ended by CR LF, to
  // synclog.dat in the current folder; tells the user when it cannot.
  void Savetodisk1Click();

  // Stops the catch-up and raises ScanCancelRequested; set by the program.
  std::function<void()> OnCancelScan;

  // The window's parts, named as in its design.
  QLabel* Label1 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QListWidget* ListBox1 = nullptr;
  QAction* Cancel1 = nullptr;
  QAction* Exit1 = nullptr;
  QAction* Savetodisk1 = nullptr;

 protected:
  void resizeEvent(QResizeEvent* event) override;
};

// The name of the report file.
inline constexpr const char* kSyncLogName = "synclog.dat";

}  // namespace varnoke::shell
