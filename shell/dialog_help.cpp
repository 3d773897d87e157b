#include "shell/dialog_help.h"

#include <QDialog>
#include <QKeyEvent>
#include <QVariant>
#include <QWhatsThis>

#include "shell/app_exception.h"

namespace varnoke::shell {
namespace {

constexpr const char* kHelpContext = "helpContext";

}  // namespace

void SetHelpContext(QObject* object, int context) {
  object->setProperty(kHelpContext, context);
}

int HelpContextOf(const QObject* object) {
  for (; object != nullptr; object = object->parent()) {
    const QVariant context = object->property(kHelpContext);
    if (context.isValid()) return context.toInt();
  }
  return 0;
}

TDialogHelp::TDialogHelp(QDialog* dialog, std::function<void(int)> show)
    : QObject(dialog), dialog_(dialog), show_(std::move(show)) {
  dialog->installEventFilter(this);
}

bool TDialogHelp::eventFilter(QObject* watched, QEvent* event) {
  if (watched != dialog_) return false;
  bool wanted = false;
  if (event->type() == QEvent::EnterWhatsThisMode) {
    // The help box: the topic at once, rather than a pointer to aim with.
    QWhatsThis::leaveWhatsThisMode();
    wanted = true;
  } else if (event->type() == QEvent::KeyPress) {
    wanted = static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1;
  }
  if (!wanted) return false;
  const QWidget* focus = dialog_->focusWidget();
  const int context = HelpContextOf(focus != nullptr ? focus : dialog_);
  Guarded([this, context] { show_(context); })();
  return true;
}

}  // namespace varnoke::shell
