// TFormui: a chosen path put into the edit control that waited for it.
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>

#include "platform/a11y/edit_control_handle.h"
#include "platform/messages.h"
#include "shell/desktop_services.h"
#include "shell/program.h"
#include "shell/uiform.h"

namespace varnoke::shell {
namespace {

// How long the focus may take to come back to the target after hiding.
constexpr int kFocusWaitMilliseconds = 1000;

}  // namespace

void TFormui::DeliverPath(const std::string& text) {
  const TWindowHandle target = TargetEditControl;
  TargetEditControl = 0;
  HideSearchWindow();
  TDesktopServices& desktop = program_.Desktop;
  // A text field on the accessibility bus takes the whole path at once, in
  // place of all its text.
  const bool accessible = platform::IsAccessibleHandle(target);
  platform::TAccessibleRef field;
  const bool known = accessible && program_.EditControlObject(target, field);
  if (known && desktop.SetFieldText(field, text)) return;
  // Else the path is typed. Keys go to the focus, so the window must have
  // it back before a single key is typed; it never goes to a window the
  // user did not choose. A field's own window is the one popped up over;
  // a window the display does not show (a native Wayland one) cannot be
  // typed into.
  const TWindowHandle window =
      accessible ? TargetWindow : (target == platform::kUnseenEditControl ? 0 : target);
  if (window != 0) {
    desktop.SetForegroundWindow(window);
    if (desktop.WaitForFocusIn(window, kFocusWaitMilliseconds)) {
      // Typing replaces only what is selected: all of it, where that can
      // be done.
      if (known) desktop.SelectFieldText(field);
      if (desktop.TypeText(text)) return;
    }
  }
  PutOnClipboard(text);
  program_.Notify(platform::FormatMessage(platform::kMsgPathNotTyped, {text}));
}

}  // namespace varnoke::shell
