#include "shell/message_box.h"

#include <QMessageBox>
#include <utility>

namespace varnoke::shell {
namespace {

// Only the user-interface thread shows boxes, so the hook needs no lock.
TMessageBoxHook& Hook() {
  static TMessageBoxHook hook;
  return hook;
}

QMessageBox::Icon IconOf(unsigned flags) {
  switch (flags & 0xF0) {
    case kMbIconError:
      return QMessageBox::Critical;
    case kMbIconWarning:
      return QMessageBox::Warning;
    case kMbIconInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

}  // namespace

int MessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned flags) {
  if (Hook()) return Hook()(TMessageBoxRequest{text, caption, flags});
  QMessageBox box(IconOf(flags), caption, text, QMessageBox::NoButton, owner);
  if ((flags & 0xF) == kMbYesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  if (flags & kMbTaskModal) box.setWindowModality(Qt::ApplicationModal);
  // A box with no owner must still come to the front over other programs.
  box.setWindowFlag(Qt::WindowStaysOnTopHint, owner == nullptr);
  switch (box.exec()) {
    case QMessageBox::Yes:
      return kIdYes;
    case QMessageBox::No:
      return kIdNo;
    default:
      return kIdOk;
  }
}

TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook) {
  return std::exchange(Hook(), std::move(hook));
}

}  // namespace varnoke::shell
