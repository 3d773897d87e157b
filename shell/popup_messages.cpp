#include "shell/popup_messages.h"

#include <QCoreApplication>

#include "shell/app_exception.h"
#include "shell/desktop_services.h"
#include "shell/uiform.h"

namespace varnoke::shell {

bool RegisterPopupMessages(TDesktopServices& desktop, TPopupMessages& messages) {
  messages.ActivateMessage = desktop.RegisterWindowMessage("ACTIVATEMORVATH");
  messages.EditControlMessage = desktop.RegisterWindowMessage("EDITCONTROLMORVATH");
  messages.TrayActivateMessage = desktop.RegisterWindowMessage("TRAYACTIVATEMORVATH");
  return messages.ActivateMessage != 0 && messages.EditControlMessage != 0 &&
         messages.TrayActivateMessage != 0;
}

bool TWindowMessageFilter::nativeEventFilter(const QByteArray& eventType, void* message,
                                             qintptr* /*result*/) {
  TPostedMessage posted;
  if (!desktop_.DecodePostedMessage(eventType, message, posted)) return false;
  if (posted.Window != form_.winId()) return false;
  bool handled = false;
  Guarded([&] { handled = form_.HandleWindowMessage(posted.Message, posted.WParam, posted.LParam); })();
  return handled;
}

QEvent::Type TWindowMessageEvent::EventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

void PostWindowMessage(TFormui& form, std::uint32_t message, std::uint64_t wParam,
                       std::uint64_t lParam) {
  // The event loop takes ownership of posted events.
  QCoreApplication::postEvent(&form, new TWindowMessageEvent(message, wParam, lParam));
}

}  // namespace varnoke::shell
