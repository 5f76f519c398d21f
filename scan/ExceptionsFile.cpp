#include "scan/ExceptionsFile.h"

#include <linux/magic.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <QFile>

#include "platform/Errors.h"

namespace {

constexpr uint32_t kChanges = IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_MOVED_FROM |
                              IN_MOVED_TO | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;

// A change made on another machine (a network file system) or by a FUSE server never reaches
// inotify: there the file is looked at every time.
bool LocalFileSystem(const char* directory) {
  struct statfs fs {};
  if (::statfs(directory, &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case NFS_SUPER_MAGIC:
    case SMB_SUPER_MAGIC:
    case 0xFF534D42UL:  // cifs
    case 0xFE534D42UL:  // smb2
    case FUSE_SUPER_MAGIC:
    case CEPH_SUPER_MAGIC:
    case V9FS_MAGIC:
    case AFS_SUPER_MAGIC:
    case CODA_SUPER_MAGIC:
      return false;
    default:
      return true;
  }
}

}  // namespace

void TExceptionsFile::Fail() const {
  throw EFileError(QStringLiteral("Cannot open file %1").arg(name_));
}

void TExceptionsFile::Watch() {
  // The file named directly in the working directory, and no link: then every change to it is a
  // change in that directory. Asked at every reading: the file may have become a link.
  const QByteArray name = QFile::encodeName(name_);
  struct stat st {};
  if (name.contains('/') || (::lstat(name.constData(), &st) == 0 && S_ISLNK(st.st_mode))) {
    watch_.Reset();
    watchTried_ = false;
    return;
  }
  if (watchTried_) return;
  watchTried_ = true;
  if (!LocalFileSystem(".")) return;
  UniqueFd fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (!fd.Valid() || ::inotify_add_watch(fd.Get(), ".", kChanges | IN_ONLYDIR) < 0) return;
  watch_ = std::move(fd);
}

bool TExceptionsFile::WatchSaysChanged() {
  if (!watch_.Valid()) return false;
  const QByteArray name = QFile::encodeName(name_);
  bool changed = false;
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    const ssize_t got = ::read(watch_.Get(), buffer, sizeof buffer);
    if (got <= 0) break;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      // Lost events, or the directory itself moved or gone: anything may have happened.
      if ((event->mask & (IN_Q_OVERFLOW | IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0 ||
          (event->len > 0 && name == event->name)) {
        changed = true;
      }
      if ((event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0) {
        // The watch no longer follows the working directory: back to looking every time.
        watch_.Reset();
        return true;
      }
    }
  }
  return changed;
}

void TExceptionsFile::Load() {
  Watch();
  // Whatever the watch reported so far is older than what is read now.
  WatchSaysChanged();
  FileIdentity identity;
  const std::optional<QByteArray> bytes = ReadConfigFile(name_, nullptr, &identity);
  if (!bytes) Fail();
  QStringList entries = ParseListText(*bytes);
  SortEntries(entries);
  entries_ = std::move(entries);
  identity_ = identity;
}

bool TExceptionsFile::Refresh() {
  if (watch_.Valid()) {
    if (!WatchSaysChanged()) return false;
    if (watch_.Valid()) {
      Load();
      return true;
    }
  }
  const std::optional<FileIdentity> now = StatFileIdentity(name_);
  if (!now) Fail();
  if (identity_ && *now == *identity_) return false;
  Load();
  return true;
}
