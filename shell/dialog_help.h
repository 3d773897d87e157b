// Help for the program's dialogs: each control carries the number of its
// help topic; F1 and the title bar's help box show the topic of the control
// that has the focus.
#pragma once

#include <QObject>
#include <functional>

class QDialog;

namespace varnoke::shell {

// Gives widget (or action) the help topic context.
void SetHelpContext(QObject* object, int context);

// The help topic of object, or of the nearest parent that has one; 0 when
// none has.
int HelpContextOf(const QObject* object);

// Watches dialog for F1 and its help box and calls show with the topic of
// the focused control. Owned by dialog.
class TDialogHelp : public QObject {
 public:
  TDialogHelp(QDialog* dialog, std::function<void(int)> show);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QDialog* dialog_;  // the parent
  std::function<void(int)> show_;
};

}  // namespace varnoke::shell
