#include "shell/about.h"

#include <algorithm>

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QProgressBar>
#include <QScreen>
#include <QSvgRenderer>
#include <QTimer>

#include "platform/messages.h"
#include "shell/app_exception.h"
#include "shell/message_box.h"
#include "shell/window_scale.h"

namespace varnoke::shell {
namespace {

constexpr int kSplashMilliseconds = 5000;

QPixmap Picture(const QString& resource, QSize size) {
  QPixmap pixmap(size * 2);  // drawn at twice the size, so it stays sharp when scaled
  pixmap.setDevicePixelRatio(2.0);
  pixmap.fill(Qt::transparent);
  QSvgRenderer renderer(resource);
  QPainter painter(&pixmap);
  renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
  return pixmap;
}

QLabel* PictureLabel(QWidget* parent, const QString& resource, const QRect& place) {
  auto* label = new QLabel(parent);
  label->setGeometry(place);
  label->setPixmap(Picture(resource, place.size()));
  return label;
}

}  // namespace

TFormAbout::TFormAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("FormAbout"));
  // Drawn at its design size on every screen: the pictures are made for it.
  setFixedSize(339, 275);
  setAutoFillBackground(true);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setFont(LayoutFont(13));

  Image1 = PictureLabel(this, QStringLiteral(":/varnoke/logo.svg"), QRect(60, 13, 250, 65));
  Image1->setObjectName(QStringLiteral("Image1"));
  Image2 = PictureLabel(this, QStringLiteral(":/varnoke/varnoke.svg"), QRect(14, 19, 32, 32));
  Image2->setObjectName(QStringLiteral("Image2"));
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setGeometry(QRect(65, 247, 245, 13));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setTextVisible(false);
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setSingleShot(true);
  connect(Timer1, &QTimer::timeout, this, Guarded([this] { Timer1Timer(); }));
}

void TFormAbout::SetSplashMode(TSplashMode mode) {
  splashMode_ = mode;
  switch (mode) {
    case TSplashMode::Splash:
    case TSplashMode::About:
      ProgressBar1->hide();
      Timer1->setInterval(kSplashMilliseconds);
      if (mode == TSplashMode::Splash) {
        setWindowTitle(QStringLiteral("Varnoke 96"));
        Timer1->start();
        ShowModeless();
      } else {
        Timer1->stop();
        setWindowTitle(QStringLiteral("About Varnoke 96"));
        exec();
      }
      break;
    case TSplashMode::ModalScan:
    case TSplashMode::ModelessScan:
      Timer1->stop();
      setWindowTitle(QStringLiteral("Scanning your hard drives..."));
      ProgressBar1->show();
      if (mode == TSplashMode::ModalScan) {
        exec();
      } else {
        ShowModeless();
      }
      break;
    default:
      break;
  }
}

void TFormAbout::CloseSplash() {
  splashMode_ = TSplashMode::Splash;
  close();
}

void TFormAbout::SetProgress(int position) {
  ProgressBar1->setValue(std::clamp(position, 0, 100));
}

void TFormAbout::ShowModeless() {
  if (!isVisible()) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen != nullptr) move(screen->availableGeometry().center() - rect().center());
  }
  show();
  raise();
  activateWindow();
}

void TFormAbout::Timer1Timer() {
  close();
}

bool TFormAbout::FormCloseQuery() {
  if (splashMode_ != TSplashMode::ModalScan && splashMode_ != TSplashMode::ModelessScan)
    return true;
  const QString text =
      QString::fromStdString(platform::FormatMessage(platform::kMsgCancelScan, {"Varnoke"}));
  if (MessageBox(nullptr, text, QStringLiteral("Varnoke"), kMbIconWarning | kMbYesNo) != kIdYes)
    return false;
  if (OnScanCancelled) OnScanCancelled();
  return true;
}

void TFormAbout::closeEvent(QCloseEvent* event) {
  bool allow = true;
  Guarded([&] { allow = FormCloseQuery(); })();
  if (!allow) {
    event->ignore();
    return;
  }
  Timer1->stop();
  QDialog::closeEvent(event);
}

void TFormAbout::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      close();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

}  // namespace varnoke::shell
