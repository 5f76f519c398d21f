#include "platform/ShellOpen.h"

#include <QFileInfo>
#include <QProcess>

namespace {

void OpenWithDesktop(const ShellOpenCall& call) {
  const QFileInfo info(call.target);
  if (info.isFile() && info.isExecutable()) {
    QProcess::startDetached(info.absoluteFilePath(), QProcess::splitCommand(call.parameters));
    return;
  }
  QProcess::startDetached(QStringLiteral("xdg-open"), {call.target});
}

ShellOpenHandler& Handler() {
  static ShellOpenHandler handler = OpenWithDesktop;
  return handler;
}

}  // namespace

void ShellOpen(const QString& target, const QString& parameters) {
  ShellOpenHandler handler = Handler();
  handler(ShellOpenCall{target, parameters});
}

ShellOpenHandler SetShellOpenHandler(ShellOpenHandler handler) {
  ShellOpenHandler previous = std::move(Handler());
  Handler() = handler ? std::move(handler) : ShellOpenHandler(OpenWithDesktop);
  return previous;
}
