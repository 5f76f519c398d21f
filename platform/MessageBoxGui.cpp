#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QScreen>

#include "platform/GuiHandlers.h"
#include "platform/MessageBox.h"
#include "platform/ShownRepaint.h"

void InstallGuiMessageBoxes() {
  SetMessageBoxHandler([](const MessageBoxCall& call) {
    const QMessageBox::Icon icon =
        call.icon == MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::Warning;
    // The check's warning is a child window of the modal window, which would otherwise block
    // it; every other box is modal itself.
    QMessageBox box(icon, call.title, call.text, QMessageBox::Ok,
                    call.windowsStayUsable ? QApplication::activeModalWidget() : nullptr);
    // The box's native window exists from here on, so the repaint can watch it appear.
    box.winId();
    RepaintOnceShown(&box);
    if (!call.windowsStayUsable) {
      box.exec();
      return;
    }
    box.setWindowModality(Qt::NonModal);
    // Where a box without an owner stands: the middle of the screen, not of the window (its
    // frame, not yet known, taken to be the window's). Without a window Qt centres it so.
    box.adjustSize();
    if (const QScreen* screen = box.screen(); screen != nullptr && box.parentWidget() != nullptr) {
      const QWidget* window = box.parentWidget();
      const int side = (window->frameGeometry().width() - window->width()) / 2;
      const int top = window->frameGeometry().height() - window->height() - side;
      box.move(screen->availableGeometry().center() - box.rect().center() - QPoint(side, top));
    }
    QEventLoop loop;
    QObject::connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
    box.show();
    loop.exec();
  });
}
