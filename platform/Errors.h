#pragma once

#include <QString>
#include <stdexcept>

// The program's failures. A handler that meets one lets it propagate; the guard around every
// event-loop entry point catches it and shows the application's error box with Message().
class EVantrelError : public std::runtime_error {
 public:
  explicit EVantrelError(const QString& message);
  const QString& Message() const { return message_; }

 private:
  QString message_;
};

// Settings store failures: "Invalid data type for '%s'", "Failed to get data for '%s'",
// "Failed to set data for '%s'".
class ERegistryException : public EVantrelError {
 public:
  using EVantrelError::EVantrelError;
};

// List file failures: "Cannot open file %s", "Cannot create file %s".
class EFileError : public EVantrelError {
 public:
  using EVantrelError::EVantrelError;
};

// The error box's text: the message with "." appended when its last character sorts after ".".
QString ErrorBoxText(const QString& message);
