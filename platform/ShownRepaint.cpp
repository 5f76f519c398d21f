#include "platform/ShownRepaint.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

// Long enough for the window manager to have framed, stacked and mapped the window; well
// within the second a user would wait for a box's text.
constexpr int kRepaintDelayMs = 200;

// Waits for the first expose of the window after a showing, then schedules the repaint and
// goes.
class ExposeWatch : public QObject {
 public:
  ExposeWatch(QWidget* window, QWindow* handle) : QObject(handle), window_(window) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* handle = static_cast<QWindow*>(parent());
    if (watched == handle && event->type() == QEvent::Expose && handle->isExposed()) {
      QTimer::singleShot(kRepaintDelayMs, window_, [window = window_] {
        if (window && window->isVisible()) window->repaint();
      });
      handle->removeEventFilter(this);
      deleteLater();
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QPointer<QWidget> window_;
};

}  // namespace

void RepaintOnceShown(QWidget* window) {
  QWindow* handle = window->windowHandle();
  if (handle == nullptr) return;
  for (ExposeWatch* earlier : handle->findChildren<ExposeWatch*>(Qt::FindDirectChildrenOnly))
    delete earlier;
  handle->installEventFilter(new ExposeWatch(window, handle));
}
