#include "scan/ExceptionsFile.h"

#include <linux/magic.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <time.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <utility>

#include "platform/Errors.h"

namespace {

constexpr uint32_t kFolderChanges = IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_MOVED_FROM |
                                    IN_MOVED_TO | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;
// On the file's inode: whatever name or link a write, truncation, chmod or new link comes
// through (a new or removed hard link changes the link count: IN_ATTRIB).
constexpr uint32_t kFileChanges =
    IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;

// The kernel is asked at most this often; the coarse clock costs no system call.
constexpr std::int64_t kLookEveryNs = 1'000'000;

std::int64_t CoarseNowNs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

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
    case OVERLAYFS_SUPER_MAGIC:  // a change made in a layer below never reaches the watch
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

std::chrono::nanoseconds TExceptionsFile::SeenAfter() {
  timespec tick{};
  if (::clock_getres(CLOCK_MONOTONIC_COARSE, &tick) != 0) tick.tv_nsec = 10'000'000;
  return std::chrono::nanoseconds(kLookEveryNs + tick.tv_sec * 1'000'000'000 + tick.tv_nsec);
}

void TExceptionsFile::DropWatch() {
  watch_.Reset();
  folderWatch_ = -1;
  fileWatch_ = -1;
  watchTried_ = false;
}

void TExceptionsFile::Watch() {
  // The file named directly in the working directory, and no link: then the folder's watch
  // sees the name replaced or removed. Asked at every reading: the file may have become a link.
  const QByteArray name = QFile::encodeName(name_);
  struct stat st {};
  if (name.contains('/') || (::lstat(name.constData(), &st) == 0 && S_ISLNK(st.st_mode))) {
    DropWatch();
    return;
  }
  if (!watchTried_) {
    watchTried_ = true;
    if (!LocalFileSystem(".")) return;
    UniqueFd fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    const int folder =
        fd.Valid() ? ::inotify_add_watch(fd.Get(), ".", kFolderChanges | IN_ONLYDIR) : -1;
    if (folder < 0) return;
    watch_ = std::move(fd);
    folderWatch_ = folder;
  }
  // Whatever the watch reported so far is older than what is read now; what comes after this
  // (the name replaced before the file's watch is made, say) stays for the next look.
  WatchSaysChanged();
  if (!watch_.Valid()) return;
  // The file as the name gives it now; the watch of a file the name no longer names goes.
  const int file =
      ::inotify_add_watch(watch_.Get(), name.constData(), kFileChanges | IN_DONT_FOLLOW);
  if (file < 0) {
    // Without it a change through another link would go unseen: looked at by stat instead,
    // until the next reading tries again.
    DropWatch();
    return;
  }
  if (fileWatch_ >= 0 && fileWatch_ != file) ::inotify_rm_watch(watch_.Get(), fileWatch_);
  fileWatch_ = file;
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
      if ((event->mask & IN_Q_OVERFLOW) != 0) {
        changed = true;  // lost events: anything may have happened
      } else if (event->wd == fileWatch_) {
        changed = true;  // written, truncated, linked, unlinked, moved or gone
      } else if (event->wd == folderWatch_) {
        if ((event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0) {
          // The watch no longer follows the working directory: back to looking every time.
          DropWatch();
          return true;
        }
        if (event->len > 0 && name == event->name) changed = true;
      }
      // Anything else is about a file the name no longer names.
    }
  }
  return changed;
}

void TExceptionsFile::Read() {
  Watch();
  FileIdentity identity;
  const std::optional<QByteArray> bytes = ReadConfigFile(name_, nullptr, &identity);
  if (!bytes) Fail();
  QStringList entries = ParseListText(*bytes);
  SortEntries(entries);
  entries_ = std::move(entries);
  identity_ = identity;
  recent_ = RecentlyChanged(identity);
}

void TExceptionsFile::Load() {
  lookedNs_ = CoarseNowNs();
  mustLook_ = true;
  Read();
}

bool TExceptionsFile::LookDue() {
  const std::int64_t now = CoarseNowNs();
  if (!std::exchange(mustLook_, false) && now - lookedNs_ < kLookEveryNs) return false;
  lookedNs_ = now;
  return true;
}

bool TExceptionsFile::Refresh() {
  if (!LookDue()) return false;
  if (watch_.Valid()) {
    if (!WatchSaysChanged()) return false;
  }
  if (!watch_.Valid()) {
    const std::optional<FileIdentity> now = StatFileIdentity(name_);
    if (!now) Fail();
    if (identity_ && *now == *identity_ && !recent_) return false;
  }
  const QStringList before = entries_;
  Read();
  return entries_ != before;
}
