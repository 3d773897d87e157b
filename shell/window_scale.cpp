#include "shell/window_scale.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <vector>

namespace varnoke::shell {

double ScreenScale() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const double dpi = screen != nullptr ? screen->logicalDotsPerInchY() : 96.0;
  return dpi > 0 ? dpi / 120.0 : 0.8;
}

int Scaled(int designPixels) {
  return static_cast<int>(std::lround(designPixels * ScreenScale()));
}

QSize Scaled(int width, int height) {
  return {Scaled(width), Scaled(height)};
}

QRect Scaled(int left, int top, int width, int height) {
  return {Scaled(left), Scaled(top), Scaled(width), Scaled(height)};
}

QFont LayoutFont(int designPixels) {
  QFont font = QApplication::font();
  font.setPixelSize(std::max(1, Scaled(designPixels)));
  return font;
}

namespace {

bool Overlap(int top1, int bottom1, int top2, int bottom2) {
  return top1 < bottom2 && top2 < bottom1;
}

// Wrapped labels taller than their text needs push what lies below them.
int FitLabels(const std::vector<QWidget*>& controls) {
  std::vector<QLabel*> labels;
  for (QWidget* control : controls) {
    auto* label = qobject_cast<QLabel*>(control);
    if (label != nullptr && label->wordWrap()) labels.push_back(label);
  }
  std::sort(labels.begin(), labels.end(),
            [](const QLabel* a, const QLabel* b) { return a->y() < b->y(); });
  int grown = 0;
  for (QLabel* label : labels) {
    const int needed = label->heightForWidth(label->width());
    if (needed <= label->height()) continue;
    const int delta = needed - label->height();
    const int oldBottom = label->y() + label->height();
    for (QWidget* control : controls) {
      if (control != label && control->y() >= oldBottom)
        control->move(control->x(), control->y() + delta);
    }
    label->resize(label->width(), needed);
    grown += delta;
  }
  return grown;
}

// Check boxes and radio buttons too narrow for their text grow up to the
// next control on their right.
void FitButtons(QWidget& window, const std::vector<QWidget*>& controls) {
  const int gap = Scaled(8);
  for (QWidget* control : controls) {
    if (qobject_cast<QCheckBox*>(control) == nullptr &&
        qobject_cast<QRadioButton*>(control) == nullptr)
      continue;
    const int needed = control->sizeHint().width();
    if (needed <= control->width()) continue;
    const int right = control->x() + control->width();
    int limit = window.width() - gap;
    for (const QWidget* other : controls) {
      if (other == control || other->x() < right) continue;
      if (Overlap(control->y(), control->y() + control->height(), other->y(),
                  other->y() + other->height()))
        limit = std::min(limit, other->x() - gap);
    }
    const int widest = std::max(control->width(), limit - control->x());
    control->resize(std::min(needed, widest), control->height());
  }
}

}  // namespace

void FitTextsToFont(QWidget& window) {
  std::vector<QWidget*> controls;
  for (QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    controls.push_back(child);
  const int grown = FitLabels(controls);
  FitButtons(window, controls);
  if (grown > 0) window.setFixedSize(window.width(), window.height() + grown);
}

}  // namespace varnoke::shell
