// TFormui: a chosen path typed into the edit control that waited for it.
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>

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
  // Keys go to the focus, so the target's window must have it back before
  // a single key is typed; it never goes to a window the user did not
  // choose.
  HideSearchWindow();
  TDesktopServices& desktop = program_.Desktop;
  desktop.SetForegroundWindow(target);
  if (desktop.WaitForFocusIn(target, kFocusWaitMilliseconds) && desktop.TypeText(text)) return;
  PutOnClipboard(text);
  program_.Notify(platform::FormatMessage(platform::kMsgPathNotTyped, {text}));
}

}  // namespace varnoke::shell
