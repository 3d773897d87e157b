// Screen rectangles in root-window coordinates.
#pragma once

namespace varnoke::platform {

// Right and Bottom lie just outside the rectangle: width is Right - Left.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  friend bool operator==(const TRect&, const TRect&) = default;
};

// The widths a window manager's frame adds on each side of a client window.
struct TFrameExtents {
  int Left = 0;
  int Right = 0;
  int Top = 0;
  int Bottom = 0;
  friend bool operator==(const TFrameExtents&, const TFrameExtents&) = default;
};

}  // namespace varnoke::platform
