#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>

#include "platform/SafeRead.h"
#include "platform/UniqueFd.h"
#include "settings/ListFile.h"

// The exception list file as a check sees it. The list is reloaded at every directory of a
// masked scan; what costs is asking the kernel whether the file changed, so that is done at
// most once a millisecond of the coarse clock (read without a system call), and always at the
// first reload after a Load. A change is therefore seen by every reload that starts
// SeenAfter() or more after it was made, and by the first one of every check; a reload within
// that time after a change may still use the list as it was (the next ones do not).
//
// How the kernel is asked: where it can tell (an inotify watch, a local file system, the file
// named directly), the watch on the working directory reports the name replaced or removed and
// a watch on the file itself reports every write, truncation, change of attributes and new or
// removed hard link, whatever name or link it is made through; only then is the file read
// again. Otherwise a stat shows whether the file may have changed (inode, size, modification or
// change time, link count), and a file changed within the last seconds, whose times cannot
// tell a second change in the same tick, is read again at every look until it is older. Either
// way a file removed mid-check ends the check at the next directory that looks.
class TExceptionsFile {
 public:
  explicit TExceptionsFile(QString name = kExceptionsFileName) : name_(std::move(name)) {}

  // Reads the file unconditionally. Throws EFileError "Cannot open file exceptions.ini" when it
  // cannot be read.
  void Load();
  // Reads the file again when it may have changed since it was last read; returns true when
  // its entries changed. Throws as Load when the file cannot be read.
  bool Refresh();

  // The entries, sorted as the exception list box keeps them.
  const QStringList& Entries() const { return entries_; }

  // The longest time after a change during which a Refresh may still miss it: the look
  // interval plus one tick of the coarse clock.
  static std::chrono::nanoseconds SeenAfter();

 private:
  [[noreturn]] void Fail() const;
  // Whether this Refresh asks the kernel.
  bool LookDue();
  void Read();
  void Watch();
  void DropWatch();
  // Whether the watch reported anything about the file since it was last asked (false also
  // when there is no watch).
  bool WatchSaysChanged();

  QString name_;
  QStringList entries_;
  std::optional<FileIdentity> identity_;
  bool recent_ = false;  // the identity read is too fresh to prove the file unchanged later
  UniqueFd watch_;
  int folderWatch_ = -1;
  int fileWatch_ = -1;
  bool watchTried_ = false;
  bool mustLook_ = true;
  std::int64_t lookedNs_ = 0;  // coarse clock at the last look
};
