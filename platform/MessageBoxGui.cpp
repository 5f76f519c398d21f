#include <QMessageBox>

#include "platform/GuiHandlers.h"
#include "platform/MessageBox.h"
#include "platform/ShownRepaint.h"

void InstallGuiMessageBoxes() {
  SetMessageBoxHandler([](const MessageBoxCall& call) {
    QMessageBox box(
        call.icon == MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::Warning,
        call.title, call.text, QMessageBox::Ok);
    // The box's native window exists from here on, so the repaint can watch it appear.
    box.winId();
    RepaintOnceShown(&box);
    box.exec();
  });
}
