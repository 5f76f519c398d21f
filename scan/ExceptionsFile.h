#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "platform/SafeRead.h"
#include "settings/ListFile.h"

// The exception list file as a check sees it. The list is reloaded at every directory of a
// masked scan; the file is only parsed again when a stat shows it changed, but it is looked at
// every time, so a file removed mid-check still ends the check.
class TExceptionsFile {
 public:
  explicit TExceptionsFile(QString name = kExceptionsFileName) : name_(std::move(name)) {}

  // Reads the file unconditionally. Throws EFileError "Cannot open file exceptions.ini" when it
  // cannot be read.
  void Load();
  // Reads the file again when it changed since it was last read; returns true when it did.
  // Throws as Load when the file cannot be read.
  bool Refresh();

  // The entries, sorted as the exception list box keeps them.
  const QStringList& Entries() const { return entries_; }

 private:
  [[noreturn]] void Fail() const;

  QString name_;
  QStringList entries_;
  std::optional<FileIdentity> identity_;
};
