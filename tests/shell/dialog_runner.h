// Opens one of the program's modal dialogs and acts on it while it is up:
// the action runs from the dialog's own event loop, and a dialog the action
// left open is closed, so that no test waits for a user.
#pragma once

#include <QDialog>
#include <QtTest>
#include <functional>

#include "tests/shell/program_under_test.h"

namespace varnoke::testing {

struct TDialogRun {
  bool Shown = false;
  bool LeftOpen = false;  // the action did not close the dialog
};

// open shows the dialog (modally) whose object name is name.
template <class TDialog>
TDialogRun RunDialog(const QString& name, const std::function<void()>& open,
                     const std::function<void(TDialog&)>& action) {
  TDialogRun run;
  TOnShow watch(name, [&](QWidget& widget) {
    run.Shown = true;
    auto& dialog = static_cast<TDialog&>(widget);
    action(dialog);
    if (dialog.isVisible()) {
      run.LeftOpen = true;
      dialog.done(QDialog::Rejected);
    }
  });
  open();
  return run;
}

}  // namespace varnoke::testing
