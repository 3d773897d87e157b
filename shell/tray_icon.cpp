#include "shell/tray_icon.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QIcon>
#include <QSystemTrayIcon>
#include <QTimer>

#include "shell/app_exception.h"
#include "shell/desktop_services.h"
#include "shell/uiform.h"

namespace varnoke::shell {

TTrayIcon::TTrayIcon(TDesktopServices& desktop, std::function<void(std::uint64_t)> onMouse)
    : desktop_(desktop), onMouse_(std::move(onMouse)) {}

TTrayIcon::~TTrayIcon() = default;

bool TTrayIcon::AddTrayIcon(std::chrono::milliseconds timeout) {
  if (!desktop_.TrayPresent()) {
    QEventLoop wait;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &wait, &QEventLoop::quit);
    const auto check = [&] {
      if (desktop_.TrayPresent()) wait.quit();
    };
    // A tray comes as an X11 tray manager or as a host on the session bus.
    const std::unique_ptr<QObject> xWatch = desktop_.WatchTray(check);
    QDBusServiceWatcher busWatch(QStringLiteral("org.kde.StatusNotifierWatcher"),
                                 QDBusConnection::sessionBus(),
                                 QDBusServiceWatcher::WatchForRegistration);
    connect(&busWatch, &QDBusServiceWatcher::serviceRegistered, &wait, check);
    cancelWait_ = [&] { wait.quit(); };
    deadline.start(timeout);
    // The tray may have come between the first look and the watches.
    if (!desktop_.TrayPresent()) wait.exec();
    cancelWait_ = nullptr;
    if (!desktop_.TrayPresent()) return false;
  }
  icon_ = std::make_unique<QSystemTrayIcon>(QIcon(QStringLiteral(":/varnoke/varnoke.svg")));
  icon_->setToolTip(toolTip_);
  connect(icon_.get(), &QSystemTrayIcon::messageClicked, this, Guarded([this] {
            if (OnMessageClicked) OnMessageClicked();
          }));
  connect(icon_.get(), &QSystemTrayIcon::activated, this,
          Guarded([this](QSystemTrayIcon::ActivationReason reason) {
            switch (reason) {
              case QSystemTrayIcon::Trigger:
                onMouse_(kWmLButtonDown);
                break;
              case QSystemTrayIcon::Context:
                onMouse_(kWmRButtonDown);
                break;
              case QSystemTrayIcon::DoubleClick:
                onMouse_(kWmLButtonDblClk);
                break;
              case QSystemTrayIcon::MiddleClick:
                onMouse_(kWmMButtonDown);
                break;
              default:
                break;
            }
          }));
  icon_->show();
  added_ = true;
  return true;
}

void TTrayIcon::RemoveTrayIcon() {
  if (icon_ != nullptr) icon_->hide();
  icon_.reset();
  added_ = false;
}

bool TTrayIcon::ShowMessage(const QString& text) {
  if (icon_ == nullptr) return false;
  lastMessage_ = text;
  icon_->showMessage(QStringLiteral("Varnoke"), text, QSystemTrayIcon::Information);
  return true;
}

void TTrayIcon::SetToolTip(const QString& tip) {
  toolTip_ = tip;
  if (icon_ != nullptr) icon_->setToolTip(tip);
}

void TTrayIcon::CancelWait() {
  if (cancelWait_) cancelWait_();
}

}  // namespace varnoke::shell
