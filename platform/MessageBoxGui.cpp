#include <QMessageBox>

#include "platform/GuiHandlers.h"
#include "platform/MessageBox.h"

void InstallGuiMessageBoxes() {
  SetMessageBoxHandler([](const MessageBoxCall& call) {
    QMessageBox box(
        call.icon == MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::Warning,
        call.title, call.text, QMessageBox::Ok);
    box.exec();
  });
}
