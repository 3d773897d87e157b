// The desktop services over X11: a connection of the program's own beside
// the toolkit's, for other programs' windows, the focus, typing and the
// tray's arrival; and one to the accessibility bus, for text fields.
#pragma once

#include <memory>

#include "shell/desktop_services.h"

namespace varnoke::platform {
class TDesktop;
class TTextFieldClient;
class TX11Display;
}  // namespace varnoke::platform

namespace varnoke::shell {

class TX11DesktopServices : public TDesktopServices {
 public:
  // Null when the display cannot be opened.
  static std::unique_ptr<TX11DesktopServices> Open();

  explicit TX11DesktopServices(std::unique_ptr<platform::TX11Display> display);
  ~TX11DesktopServices() override;

  std::uint32_t RegisterWindowMessage(std::string_view name) override;
  bool DecodePostedMessage(const QByteArray& eventType, void* event,
                           TPostedMessage& message) override;
  bool GetWindowRect(TWindowHandle window, TScreenRect& rect) override;
  bool GetFrameExtents(TWindowHandle window, TFrameExtents& extents) override;
  TWindowHandle GetParent(TWindowHandle window) override;
  void SetForegroundWindow(TWindowHandle window) override;
  bool OtherWindowsHidden() override;
  bool WaitForFocusIn(TWindowHandle window, int timeoutMs) override;
  bool TypeText(std::string_view text) override;
  bool SwitchAccessibilityOn() override;
  bool SetFieldText(const platform::TAccessibleRef& field, std::string_view text) override;
  bool SelectFieldText(const platform::TAccessibleRef& field) override;
  bool TrayPresent() override;
  std::unique_ptr<QObject> WatchTray(std::function<void()> onChange) override;

 private:
  std::unique_ptr<platform::TX11Display> display_;
  std::unique_ptr<platform::TDesktop> desktop_;
  std::unique_ptr<platform::TTextFieldClient> fields_;
};

}  // namespace varnoke::shell
