// Placing a dialog's texted controls as their layout says: its name, its
// text, its place and the help topic F1 opens on it.
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>

#include "shell/dialog_help.h"

namespace varnoke::shell {

// A control of type Control (a button, radio button, check box) owned by
// parent; helpContext 0 gives it no topic of its own.
template <typename Control>
Control* PlaceControl(QWidget* parent, const char* name, const QString& text, const QRect& place,
                      int helpContext = 0) {
  auto* control = new Control(text, parent);  // owned by parent
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(place);
  if (helpContext != 0) SetHelpContext(control, helpContext);
  return control;
}

}  // namespace varnoke::shell
