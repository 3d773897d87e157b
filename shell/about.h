// TFormAbout: one small window for three purposes, chosen by its mode: the
// splash shown while the program starts (0), the About box (1), and the
// progress of a drive scan (2 modal, 3 modeless), from which the user can
// abandon the scan.
#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QProgressBar;
class QTimer;

namespace varnoke::shell {

class TFormAbout : public QDialog {
  Q_OBJECT

 public:
  explicit TFormAbout(QWidget* parent = nullptr);

  // Configures the window for mode and shows it; returns when a modal mode
  // is closed, at once otherwise. Any other mode only changes SplashMode.
  void SetSplashMode(int mode);
  // SplashMode := 0, then closes the window (without a question).
  void CloseSplash();
  int SplashMode() const noexcept { return splashMode_; }

  // Moves the progress bar (0 to 100; beyond 100 shows as full).
  void SetProgress(int position);

  // Called when the user confirms abandoning the scan.
  std::function<void()> OnScanCancelled;

  // The window's parts, named as in its design.
  QLabel* Image1 = nullptr;
  QLabel* Image2 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QTimer* Timer1 = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // False when the close is refused for now (a scan the user lets go on).
  bool FormCloseQuery();
  void ShowModeless();
  void Timer1Timer();

  int splashMode_ = 0;
};

}  // namespace varnoke::shell
