// The windows are laid out in pixels of a 120 dots-per-inch screen; these
// turn such sizes into pixels of the screen the program runs on.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

class QWidget;

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

// Gives the window's texts the room the desktop's font needs, which may be
// more than the layout's: a wrapped label grows downwards and moves what is
// below it (and the window's bottom) down with it; a check box or radio
// button grows to the right up to the control beside it or the window's
// edge. Called once a window's controls are placed.
void FitTextsToFont(QWidget& window);

}  // namespace varnoke::shell
