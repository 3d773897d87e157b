// TFormui: the registered messages, the pop-ups over another window or where
// the window last stood, and hiding again.
#include <QCursor>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>

#include "shell/about.h"
#include "shell/desktop_services.h"
#include "shell/program.h"
#include "shell/uiform.h"
#include "shell/window_scale.h"

namespace varnoke::shell {
namespace {

// The smallest window the search window pops up over, in design pixels.
constexpr QSize kSmallestTarget{120, 100};

}  // namespace

bool TFormui::HandleWindowMessage(std::uint32_t message, std::uint64_t wParam,
                                  std::uint64_t lParam) {
  const TPopupMessages& messages = program_.Messages;
  if (message == 0) return false;
  if (message == messages.TrayActivateMessage) {
    TrayPopup(lParam);
  } else if (message == messages.ActivateMessage) {
    HotKeyPopup(wParam);
  } else if (message == messages.EditControlMessage) {
    // Whatever the hook names, none included, until a delivery uses it.
    TargetEditControl = wParam;
  } else {
    return false;
  }
  return true;
}

void TFormui::TrayPopup(std::uint64_t mouseMessage) {
  if (mouseMessage != kWmLButtonDown && mouseMessage != kWmRButtonDown) return;
  // Not while the splash, the About box or a scan's progress is up.
  const TFormAbout* about = program_.AboutIfCreated();
  if (about != nullptr && about->isVisible()) return;
  TargetWindow = 0;
  // Where it last stood: after a hot-key pop-up, over that target.
  ShowAndFocus();
}

void TFormui::HotKeyPopup(TWindowHandle target) {
  TargetWindow = target;
  // Without a window to cover (nothing had the focus, or it was a window
  // manager's hidden focus window too small to hold the search window), the
  // window shows where it stood; on a desktop that hides where the user's
  // window is, it comes up in the middle of the screen the user looks at.
  TScreenRect frame;
  if (target != 0 && program_.Desktop.GetWindowRect(target, frame) &&
      frame.Width() >= Scaled(kSmallestTarget.width()) &&
      frame.Height() >= Scaled(kSmallestTarget.height())) {
    PlaceOver(frame);
  } else if (program_.Desktop.OtherWindowsHidden()) {
    CentreOnPointerScreen();
  }
  ShowAndFocus();
}

void TFormui::CentreOnPointerScreen() {
  const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  // At the size it last had, its frame centred whole once the window
  // manager has told how far the frame reaches (after the first showing).
  TFrameExtents own;
  if (!program_.Desktop.GetFrameExtents(winId(), own)) own = {};
  QRect place(0, 0, width() + own.Left + own.Right, height() + own.Top + own.Bottom);
  place.moveCenter(screen->availableGeometry().center());
  setGeometry(place.left() + own.Left, place.top() + own.Top, width(), height());
}

void TFormui::PlaceOver(const TScreenRect& frame) {
  // The window's frame takes the target's frame rectangle. Before this
  // window has been framed once, its frame is taken to be the target's.
  TFrameExtents own;
  if (!program_.Desktop.GetFrameExtents(winId(), own) &&
      !program_.Desktop.GetFrameExtents(TargetWindow, own)) {
    own = {};
  }
  setGeometry(frame.Left + own.Left, frame.Top + own.Top,
              std::max(1, frame.Width() - own.Left - own.Right),
              std::max(1, frame.Height() - own.Top - own.Bottom));
}

void TFormui::ShowAndFocus() {
  if (windowState() & Qt::WindowMinimized) setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
  program_.Desktop.SetForegroundWindow(winId());
  editSearchFilename->setFocus(Qt::ActiveWindowFocusReason);
  editSearchFilename->selectAll();
}

void TFormui::HideSearchWindow() {
  hide();
  if (TargetWindow != 0) program_.Desktop.SetForegroundWindow(TargetWindow);
}

}  // namespace varnoke::shell
