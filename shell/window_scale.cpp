#include "shell/window_scale.h"

#include <QApplication>
#include <QScreen>
#include <cmath>

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

}  // namespace varnoke::shell
