// The tray icon: the program's own icon with the tip "Varnoke". Its clicks
// reach their handler directly, as the mouse message they stand for.
#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

class QSystemTrayIcon;

namespace varnoke::shell {

class TDesktopServices;

class TTrayIcon : public QObject {
  Q_OBJECT

 public:
  // desktop is borrowed and must outlive the icon. onMouse gets the mouse
  // message of each click (kWmLButtonDown, ...).
  TTrayIcon(TDesktopServices& desktop, std::function<void(std::uint64_t)> onMouse);
  ~TTrayIcon() override;

  // Adds the icon. A desktop may start its tray after the program, or have
  // none: this waits up to timeout for a tray host, woken by its arrival,
  // with the event loop running; true when the icon was added.
  bool AddTrayIcon(std::chrono::milliseconds timeout);
  void RemoveTrayIcon();
  bool Added() const noexcept { return added_; }

  // A short message from the icon; false when there is no icon to show it.
  bool ShowMessage(const QString& text);
  // Runs when the user clicks the message shown last.
  std::function<void()> OnMessageClicked;
  // The tip the icon shows on hover, now or once it is added ("Varnoke"
  // unless set).
  void SetToolTip(const QString& tip);
  const QString& ToolTip() const noexcept { return toolTip_; }
  // The text the icon showed last; empty when none.
  const QString& LastMessage() const noexcept { return lastMessage_; }

  // Ends a wait of AddTrayIcon at once (the program is ending).
  void CancelWait();

 private:
  QString lastMessage_;
  QString toolTip_ = QStringLiteral("Varnoke");
  TDesktopServices& desktop_;
  std::function<void(std::uint64_t)> onMouse_;
  std::unique_ptr<QSystemTrayIcon> icon_;
  bool added_ = false;
  std::function<void()> cancelWait_;
};

}  // namespace varnoke::shell
