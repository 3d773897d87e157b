#include "shell/x11_desktop.h"

#include <QSocketNotifier>
#include <QSystemTrayIcon>

#include "platform/a11y/text_field_client.h"
#include "platform/desktop/session_kind.h"
#include "platform/x11/desktop.h"
#include "platform/x11/rect.h"
#include "platform/x11/tray_watch.h"
#include "platform/x11/window_messages.h"
#include "platform/x11/x11_display.h"

namespace varnoke::shell {
namespace {

// Holds a tray watch and the notifier on its connection for as long as the
// caller keeps it.
class TTrayWatcher : public QObject {
 public:
  TTrayWatcher(std::unique_ptr<platform::TTrayWatch> watch, std::function<void()> onChange)
      : watch_(std::move(watch)),
        notifier_(watch_->Fd(), QSocketNotifier::Read),
        onChange_(std::move(onChange)) {
    connect(&notifier_, &QSocketNotifier::activated, this, [this] {
      watch_->Dispatch();
      onChange_();
    });
  }

 private:
  std::unique_ptr<platform::TTrayWatch> watch_;
  QSocketNotifier notifier_;
  std::function<void()> onChange_;
};

}  // namespace

std::unique_ptr<TX11DesktopServices> TX11DesktopServices::Open() {
  std::unique_ptr<platform::TX11Display> display = platform::TX11Display::Open();
  if (display == nullptr) return nullptr;
  return std::make_unique<TX11DesktopServices>(std::move(display));
}

TX11DesktopServices::TX11DesktopServices(std::unique_ptr<platform::TX11Display> display)
    : display_(std::move(display)),
      desktop_(std::make_unique<platform::TDesktop>(*display_)),
      fields_(std::make_unique<platform::TTextFieldClient>(platform::SessionBusAddress())) {}

TX11DesktopServices::~TX11DesktopServices() = default;

std::uint32_t TX11DesktopServices::RegisterWindowMessage(std::string_view name) {
  return platform::RegisterWindowMessage(display_.get(), name);
}

bool TX11DesktopServices::DecodePostedMessage(const QByteArray& eventType, void* event,
                                              TPostedMessage& message) {
  if (eventType != "xcb_generic_event_t") return false;
  platform::TClientMessage decoded;
  if (!platform::DecodeClientMessage(event, decoded)) return false;
  message = {decoded.Window, decoded.Message, decoded.WParam, decoded.LParam};
  return true;
}

bool TX11DesktopServices::GetWindowRect(TWindowHandle window, TScreenRect& rect) {
  platform::TRect frame;
  if (window == 0 || !desktop_->GetWindowRect(window, frame)) return false;
  rect = {frame.Left, frame.Top, frame.Right, frame.Bottom};
  return true;
}

bool TX11DesktopServices::GetFrameExtents(TWindowHandle window, TFrameExtents& extents) {
  platform::TFrameExtents frame;
  if (window == 0 || !desktop_->GetFrameExtents(window, frame)) return false;
  extents = {frame.Left, frame.Right, frame.Top, frame.Bottom};
  return true;
}

TWindowHandle TX11DesktopServices::GetParent(TWindowHandle window) {
  return window == 0 ? 0 : desktop_->GetParent(window);
}

void TX11DesktopServices::SetForegroundWindow(TWindowHandle window) {
  if (window != 0) desktop_->SetForegroundWindow(window);
}

bool TX11DesktopServices::OtherWindowsHidden() {
  return platform::IsWaylandSession();
}

bool TX11DesktopServices::WaitForFocusIn(TWindowHandle window, int timeoutMs) {
  return window != 0 && desktop_->WaitForFocusIn(window, timeoutMs);
}

bool TX11DesktopServices::TypeText(std::string_view text) {
  const platform::TTypeResult result = desktop_->TypeText(text);
  return result.Failed == 0;
}

bool TX11DesktopServices::SwitchAccessibilityOn() {
  return fields_->SwitchAccessibilityOn() != platform::TAccessibilitySwitch::Unavailable;
}

bool TX11DesktopServices::SetFieldText(const platform::TAccessibleRef& field,
                                       std::string_view text) {
  return fields_->ReplaceText(field, text);
}

bool TX11DesktopServices::SelectFieldText(const platform::TAccessibleRef& field) {
  return fields_->SelectAllText(field);
}

bool TX11DesktopServices::TrayPresent() {
  return QSystemTrayIcon::isSystemTrayAvailable();
}

std::unique_ptr<QObject> TX11DesktopServices::WatchTray(std::function<void()> onChange) {
  std::unique_ptr<platform::TTrayWatch> watch = platform::TTrayWatch::Open();
  if (watch == nullptr) return std::make_unique<QObject>();
  return std::make_unique<TTrayWatcher>(std::move(watch), std::move(onChange));
}

}  // namespace varnoke::shell
