#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include "platform/GuiHandlers.h"
#include "platform/ShellOpen.h"

void InstallDesktopShellOpen() {
  SetShellOpenHandler([](const ShellOpenCall& call) {
    const QFileInfo info(call.target);
    if (info.isFile() && info.isExecutable()) {
      QProcess::startDetached(info.absoluteFilePath(), QProcess::splitCommand(call.parameters));
      return;
    }
    const QUrl url = info.exists() ? QUrl::fromLocalFile(info.absoluteFilePath())
                                   : QUrl::fromUserInput(call.target);
    QDesktopServices::openUrl(url);
  });
}
