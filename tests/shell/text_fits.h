// Checks that a window shows its texts whole with the font it runs with:
// no wrapped label cut off, no check box or radio button text cut short, no
// two controls over each other, nothing outside the window.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QString>
#include <QWidget>

namespace varnoke::testing {

// Empty when every text fits; else what does not.
inline QString TextsThatDoNotFit(const QWidget& window) {
  QString problems;
  const QList<QWidget*> controls = window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  for (const QWidget* control : controls) {
    if (control->isHidden()) continue;
    const QString name = control->objectName();
    if (const auto* label = qobject_cast<const QLabel*>(control);
        label != nullptr && label->wordWrap() &&
        label->heightForWidth(label->width()) > label->height())
      problems += name + " is cut off; ";
    if ((qobject_cast<const QCheckBox*>(control) != nullptr ||
         qobject_cast<const QRadioButton*>(control) != nullptr) &&
        control->sizeHint().width() > control->width())
      problems += name + " is too narrow; ";
    if (!window.rect().contains(control->geometry())) problems += name + " is outside; ";
    for (const QWidget* other : controls) {
      if (other < control && !other->isHidden() && other->geometry().intersects(control->geometry()))
        problems += name + " overlaps " + other->objectName() + "; ";
    }
  }
  return problems;
}

}  // namespace varnoke::testing
