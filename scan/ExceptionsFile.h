#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "platform/SafeRead.h"
#include "platform/UniqueFd.h"
#include "settings/ListFile.h"

// The exception list file as a check sees it. The list is reloaded at every directory of a
// masked scan. Where the system can tell (an inotify watch on the working directory, a local
// file system, the file named directly), nothing is looked at until the directory reports a
// change to the file, and the file is then read again; otherwise a stat at every reload shows
// whether it changed. Either way a file removed mid-check ends the check at the next directory.
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
  void Watch();
  // Whether the watch reported anything about the file since it was last asked (false also
  // when there is no watch).
  bool WatchSaysChanged();

  QString name_;
  QStringList entries_;
  std::optional<FileIdentity> identity_;
  UniqueFd watch_;
  bool watchTried_ = false;
};
