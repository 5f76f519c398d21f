#include "platform/MessageBox.h"

#include <cstdio>

#include "platform/Errors.h"
#include "platform/StandardOutput.h"

namespace {

void PrintToStderr(const MessageBoxCall& call) {
  const QByteArray line = (call.title + QStringLiteral(": ") + call.text).toUtf8() + '\n';
  std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
  std::fflush(stderr);
}

MessageBoxHandler& Handler() {
  static MessageBoxHandler handler = PrintToStderr;
  return handler;
}

}  // namespace

void ShowMessageBox(const QString& title, const QString& text, MessageIcon icon,
                    bool windowsStayUsable) {
  // What the program printed so far comes first, before the box and whatever follows it.
  FlushOutput();
  MessageBoxHandler handler = Handler();  // a copy: the handler may replace itself
  handler(MessageBoxCall{title, text, icon, windowsStayUsable});
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  MessageBoxHandler previous = std::move(Handler());
  Handler() = handler ? std::move(handler) : MessageBoxHandler(PrintToStderr);
  return previous;
}

void ShowErrorBox(const QString& message) {
  ShowMessageBox(QStringLiteral("Vantrel"), ErrorBoxText(message), MessageIcon::Critical);
}

bool RunGuarded(const std::function<void()>& handler) {
  try {
    handler();
    return true;
  } catch (const EVantrelError& e) {
    ShowErrorBox(e.Message());
  } catch (const std::bad_alloc&) {
    ShowErrorBox(QStringLiteral("Out of memory"));
  }
  return false;
}
