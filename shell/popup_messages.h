// The three registered messages through which the keyboard-hook library and
// the tray icon reach the search window, and their delivery to it.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QEvent>
#include <cstdint>

namespace varnoke::shell {

class TDesktopServices;
class TFormui;

struct TPopupMessages {
  std::uint32_t ActivateMessage = 0;      // "ACTIVATEMORVATH"
  std::uint32_t EditControlMessage = 0;   // "EDITCONTROLMORVATH"
  std::uint32_t TrayActivateMessage = 0;  // "TRAYACTIVATEMORVATH"
};

// Registers the three names, in that order; true only when all three got a
// number.
bool RegisterPopupMessages(TDesktopServices& desktop, TPopupMessages& messages);

// Hands the messages other programs post to the search window (native
// events of the toolkit) to its window procedure.
class TWindowMessageFilter : public QAbstractNativeEventFilter {
 public:
  // Both are borrowed and must outlive the filter.
  TWindowMessageFilter(TDesktopServices& desktop, TFormui& form) : desktop_(desktop), form_(form) {}

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  TDesktopServices& desktop_;
  TFormui& form_;
};

// A registered message posted inside the program where there is no
// display, delivered to the search window as an event.
class TWindowMessageEvent : public QEvent {
 public:
  static QEvent::Type EventType();

  TWindowMessageEvent(std::uint32_t message, std::uint64_t wParam, std::uint64_t lParam)
      : QEvent(EventType()), Message(message), WParam(wParam), LParam(lParam) {}

  const std::uint32_t Message;
  const std::uint64_t WParam;
  const std::uint64_t LParam;
};

// Posts the message to the window; it is handled when the event loop runs.
void PostWindowMessage(TFormui& form, std::uint32_t message, std::uint64_t wParam,
                       std::uint64_t lParam);

}  // namespace varnoke::shell
