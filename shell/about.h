// TFormAbout: one small window for three purposes, chosen by its mode: the
// splash shown while the program starts, the About box, and the progress of
// a drive scan (modal or modeless), from which the user can abandon the
// scan.
#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QProgressBar;
class QTimer;

namespace varnoke::shell {

// SplashMode: what the window is up for. The numbers are the mode's own.
enum class TSplashMode : int {
  Splash = 0,
  About = 1,
  ModalScan = 2,
  ModelessScan = 3,
};

class TFormAbout : public QDialog {
  Q_OBJECT

 public:
  explicit TFormAbout(QWidget* parent = nullptr);

  // Configures the window for mode and shows it; returns when a modal mode
  // is closed, at once otherwise. Any other mode only changes SplashMode.
  void SetSplashMode(TSplashMode mode);
  // SplashMode := Splash, then closes the window (without a question).
  void CloseSplash();
  TSplashMode SplashMode() const noexcept { return splashMode_; }

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

  TSplashMode splashMode_ = TSplashMode::Splash;
};

}  // namespace varnoke::shell
