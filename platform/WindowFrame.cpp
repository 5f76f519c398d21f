#include "platform/WindowFrame.h"

#include <algorithm>

QRect InnerRect(const QRect& frame, const QMargins& margins) {
  return QRect(frame.topLeft() + QPoint(margins.left(), margins.top()),
               InnerSize(frame.size(), margins));
}

QRect OuterRect(const QRect& inner, const QMargins& margins) {
  return QRect(inner.topLeft() - QPoint(margins.left(), margins.top()),
               inner.size().grownBy(margins));
}

QSize InnerSize(const QSize& frame, const QMargins& margins) {
  return frame.shrunkBy(margins).expandedTo(QSize(0, 0));
}

QRect CentredFrame(const QRect& area, const QSize& frame) {
  return QRect(area.x() + area.width() / 2 - frame.width() / 2,
               area.y() + area.height() / 2 - frame.height() / 2, frame.width(), frame.height());
}

namespace {

// The squared distance between two rectangles; zero when they overlap.
qint64 Distance(const QRect& a, const QRect& b) {
  const qint64 dx = std::max({0, b.left() - a.right(), a.left() - b.right()});
  const qint64 dy = std::max({0, b.top() - a.bottom(), a.top() - b.bottom()});
  return dx * dx + dy * dy;
}

// Moves one edge's coordinate into [low, high - length], the low end winning when it does not
// fit.
int Within(int position, int length, int low, int high) {
  return std::max(low, std::min(position, high - length));
}

}  // namespace

QRect TitleBarOnScreens(const QRect& frame, int titleBarHeight, const QList<ScreenArea>& screens) {
  const QRect titleBar(frame.topLeft(), QSize(frame.width(), std::max(titleBarHeight, 1)));
  const ScreenArea* nearest = nullptr;
  for (const ScreenArea& screen : screens) {
    if (screen.geometry.intersects(titleBar)) return frame;
    if (nearest == nullptr ||
        Distance(titleBar, screen.geometry) < Distance(titleBar, nearest->geometry))
      nearest = &screen;
  }
  if (nearest == nullptr) return frame;
  const QRect& area = nearest->available;
  return QRect(Within(frame.x(), frame.width(), area.x(), area.x() + area.width()),
               Within(frame.y(), frame.height(), area.y(), area.y() + area.height()), frame.width(),
               frame.height());
}

void FrameGeometry::SetMinimumSize(const QSize& minimum) {
  minimum_ = minimum;
  SetSize(rect_.size());
}

void FrameGeometry::SetWidth(int width) {
  rect_.setWidth(std::max(width, minimum_.width()));
}

void FrameGeometry::SetHeight(int height) {
  rect_.setHeight(std::max(height, minimum_.height()));
}

void FrameGeometry::SetLeft(int left) {
  rect_.moveLeft(left);
}

void FrameGeometry::SetTop(int top) {
  rect_.moveTop(top);
}

void FrameGeometry::SetSize(const QSize& size) {
  SetWidth(size.width());
  SetHeight(size.height());
}

void FrameGeometry::CentreIn(const QRect& area) {
  rect_ = CentredFrame(area, rect_.size());
}
