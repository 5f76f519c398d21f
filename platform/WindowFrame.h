#pragma once

#include <QList>
#include <QMargins>
#include <QRect>
#include <QSize>

// A top-level window's places are those of its frame: the outer rectangle with the window
// manager's title bar and borders. Qt sizes and places the inner (client) area, so the two are
// converted through the frame margins.

// The inner area of a frame with these margins.
QRect InnerRect(const QRect& frame, const QMargins& margins);

// The frame around an inner area.
QRect OuterRect(const QRect& inner, const QMargins& margins);

// The inner size that a frame of this outer size leaves, never negative.
QSize InnerSize(const QSize& frame, const QMargins& margins);

// A frame of this size centred in area: its left edge is the area's left plus half the area's
// width minus half the frame's width, each half rounded toward zero; the same for the top.
QRect CentredFrame(const QRect& area, const QSize& frame);

// A screen as a frame's place is tested against: all of it, and the part that panels leave free.
struct ScreenArea {
  QRect geometry;
  QRect available;
};

// A frame whose title bar (its top titleBarHeight rows, at least one) lies on none of the
// screens, moved onto the nearest one's free part: as far in as it fits there, its top left
// corner first. Any other frame is returned as it is. No screens: returned as it is.
QRect TitleBarOnScreens(const QRect& frame, int titleBarHeight, const QList<ScreenArea>& screens);

// A window's frame as the program sets it, one value at a time, with a minimum outer size that
// every change of width or height respects.
class FrameGeometry {
 public:
  explicit FrameGeometry(const QRect& designed) : rect_(designed) {}

  QRect Rect() const { return rect_; }
  QSize Minimum() const { return minimum_; }

  // Grows the frame where it is smaller than the new minimum.
  void SetMinimumSize(const QSize& minimum);
  void SetWidth(int width);
  void SetHeight(int height);
  void SetLeft(int left);
  void SetTop(int top);
  void SetSize(const QSize& size);
  // Centres the frame, at its present size, in area (CentredFrame).
  void CentreIn(const QRect& area);

 private:
  QRect rect_;
  QSize minimum_{0, 0};
};
