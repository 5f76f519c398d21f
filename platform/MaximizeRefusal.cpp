#include "platform/MaximizeRefusal.h"

#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

// Long enough for the maximized frame to have reached the compositor.
constexpr int kSettleMs = 100;

// Follows the window's states: Qt reports a maximize once as it asks for it and once more when
// the compositor's maximized size has come.
class MaximizeRefusal : public QObject {
 public:
  MaximizeRefusal(QWidget* window, QWindow* handle) : QObject(window), window_(window) {
    connect(handle, &QWindow::windowStateChanged, this,
            [this, handle](Qt::WindowState state) { StateChanged(handle, state); });
  }

 private:
  void StateChanged(QWindow* handle, Qt::WindowState state) {
    const QSize fixed = window_->maximumSize();
    if (state == Qt::WindowMaximized) {
      // The compositor's size, whatever it is, until it has heard that the window is normal.
      handle->setMaximumSize(QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
      lifted_ = true;
      if (handle->size() == handle->size().boundedTo(fixed)) return;
      grown_ = true;
      // Asked for once the maximized frame has been shown: a compositor drops a request to
      // leave a state that it has not yet seen taken.
      QTimer::singleShot(kSettleMs, this, [handle] {
        handle->setWindowStates(handle->windowStates() & ~Qt::WindowMaximized);
      });
    } else if (lifted_ && grown_ && handle->size() == handle->size().boundedTo(fixed)) {
      lifted_ = grown_ = false;
      handle->setMaximumSize(fixed);
    }
  }

  QWidget* window_;
  bool lifted_ = false;  // the window's greatest size is not its own
  bool grown_ = false;   // and the compositor's maximized size has come
};

}  // namespace

void RefuseMaximize(QWidget* window) {
  QWindow* handle = window->windowHandle();
  if (handle == nullptr || window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint)) return;
  new MaximizeRefusal(window, handle);
}
