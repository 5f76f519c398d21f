#include "platform/FramePlacement.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include "platform/WindowFrame.h"

namespace {

// Null until a window manager has framed the window, or for a window it does not frame.
QMargins KnownFrameMargins(const QWidget* window) {
  const QWindow* handle = window->windowHandle();
  return handle != nullptr ? handle->frameMargins() : QMargins();
}

}  // namespace

QMargins ExpectedFrameMargins(const QWidget* window) {
  const QMargins own = KnownFrameMargins(window);
  if (!own.isNull()) return own;
  // A window manager gives the program's windows the same title bar and borders (a window
  // that can be resized may get a thicker bottom edge; the placement corrects that).
  QWidget* active = QApplication::activeWindow();
  if (active != nullptr && active != window && active->isVisible()) {
    const QMargins margins = KnownFrameMargins(active);
    if (!margins.isNull()) return margins;
  }
  for (const QWidget* other : QApplication::topLevelWidgets()) {
    if (other == window || !other->isVisible()) continue;
    const QMargins margins = KnownFrameMargins(other);
    if (!margins.isNull()) return margins;
  }
  return QMargins();
}

bool WindowPositionsKnown() {
  return !QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
}

void PlaceFrame(QWidget* window, const QRect& frame, const QMargins& margins) {
  if (!WindowPositionsKnown()) {
    window->resize(InnerSize(frame.size(), margins));
    return;
  }
  // The inner area is placed, not the frame's corner: Qt can place the corner only once it
  // knows the frame, and before the first showing it does not.
  window->setGeometry(InnerRect(frame, margins));
}

QRect FrameOnScreens(const QRect& frame, const QMargins& margins) {
  QList<ScreenArea> screens;
  for (const QScreen* screen : QGuiApplication::screens())
    screens.append({screen->geometry(), screen->availableGeometry()});
  return TitleBarOnScreens(frame, margins.top(), screens);
}

void CentreFrameOnScreen(QWidget* window, const QMargins& margins) {
  const QRect area = window->screen()->availableGeometry();
  PlaceFrame(window, CentredFrame(area, window->size().grownBy(margins)), margins);
}

FramePlacement::FramePlacement(QWidget* window) : window_(window) {}

void FramePlacement::Place(Rule rule) {
  rule_ = std::move(rule);
  assumed_ = ExpectedFrameMargins(window_);
  rule_(assumed_);
  if (QWindow* handle = window_->windowHandle()) {
    handle->removeEventFilter(this);
    handle->installEventFilter(this);
    pending_ = true;
  }
}

bool FramePlacement::eventFilter(QObject* watched, QEvent* event) {
  if (pending_ && event->type() == QEvent::Expose && watched == window_->windowHandle() &&
      window_->windowHandle()->isExposed()) {
    pending_ = false;
    const QMargins actual = KnownFrameMargins(window_);
    if (actual != assumed_) {
      assumed_ = actual;
      rule_(actual);
    }
  }
  return QObject::eventFilter(watched, event);
}
