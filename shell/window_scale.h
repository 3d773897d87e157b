// The windows are laid out in pixels of a 120 dots-per-inch screen; these
// turn such sizes into pixels of the screen the program runs on.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace varnoke::shell {

// The screen's logical dots per inch over 120.
double ScreenScale();

// A length of the layout in pixels of this screen.
int Scaled(int designPixels);
QSize Scaled(int width, int height);
QRect Scaled(int left, int top, int width, int height);

// The desktop's default font, its characters designPixels high on the
// layout's screen.
QFont LayoutFont(int designPixels);

}  // namespace varnoke::shell
