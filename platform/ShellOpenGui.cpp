#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include "platform/GuiHandlers.h"
#include "platform/ShellOpen.h"

void InstallDesktopShellOpen() {
  SetShellOpenHandler([](const ShellOpenCall& call) {
    if (StartIfProgram(call)) return;
    const QFileInfo info(call.target);
    const QUrl url = info.exists() ? QUrl::fromLocalFile(info.absoluteFilePath())
                                   : QUrl::fromUserInput(call.target);
    QDesktopServices::openUrl(url);
  });
}
