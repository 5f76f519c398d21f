#include "platform/ShellOpen.h"

#include <QFileInfo>
#include <QProcess>

#include "platform/ShellWords.h"

namespace {

void OpenWithDesktop(const ShellOpenCall& call) {
  if (StartIfProgram(call)) return;
  QProcess::startDetached(QStringLiteral("xdg-open"), {call.target});
}

ShellOpenHandler& Handler() {
  static ShellOpenHandler handler = OpenWithDesktop;
  return handler;
}

}  // namespace

bool StartIfProgram(const ShellOpenCall& call) {
  const QFileInfo info(call.target);
  if (!info.isFile() || !info.isExecutable()) return false;
  QProcess::startDetached(info.absoluteFilePath(), SplitShellWords(call.parameters));
  return true;
}

void ShellOpen(const QString& target, const QString& parameters) {
  ShellOpenHandler handler = Handler();
  handler(ShellOpenCall{target, parameters});
}

ShellOpenHandler SetShellOpenHandler(ShellOpenHandler handler) {
  ShellOpenHandler previous = std::move(Handler());
  Handler() = handler ? std::move(handler) : ShellOpenHandler(OpenWithDesktop);
  return previous;
}
