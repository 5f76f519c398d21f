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
