#include "platform/Errors.h"

EVantrelError::EVantrelError(const QString& message)
    : std::runtime_error(message.toStdString()), message_(message) {}

QString ErrorBoxText(const QString& message) {
  if (!message.isEmpty() && message.back() > QChar(u'.')) return message + u'.';
  return message;
}
