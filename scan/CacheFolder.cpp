#include "scan/CacheFolder.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include "platform/UniqueFd.h"
#include "settings/Registry.h"

namespace {

// Only looked at, never listed: a folder on the way up that may be searched but not read
// (a /home of mode 0711) is still reached.
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

}  // namespace

bool UsableCacheFolder(int folderFd) {
  struct stat folder {};
  if (::fstat(folderFd, &folder) != 0 || !S_ISDIR(folder.st_mode)) return false;
  // From the home folder up to "/" (where ".." is the folder itself), each folder on the way.
  const QByteArray home = QFile::encodeName(QDir::homePath());
  UniqueFd at(::open(home.constData(), kFolderFlags));
  if (!at.Valid()) at.Reset(::open("/", kFolderFlags));
  struct stat st {};
  if (!at.Valid() || ::fstat(at.Get(), &st) != 0) return false;
  for (;;) {
    if (st.st_dev == folder.st_dev && st.st_ino == folder.st_ino) return false;
    UniqueFd up(::openat(at.Get(), "..", kFolderFlags));
    struct stat above {};
    if (!up.Valid() || ::fstat(up.Get(), &above) != 0) return false;
    if (above.st_dev == st.st_dev && above.st_ino == st.st_ino) return true;
    at = std::move(up);
    st = above;
  }
}

bool UsableCacheFolder(const QString& folder) {
  if (folder.isEmpty()) return false;
  const UniqueFd fd(::open(QFile::encodeName(folder).constData(), kFolderFlags));
  return fd.Valid() && UsableCacheFolder(fd.Get());
}

std::optional<QString> FindCacheFolder(TRegistry& registry) {
  registry.SetRoot();
  registry.OpenKey(kShellFoldersKey, true);
  std::optional<QString> configured;
  try {
    if (registry.ValueExists(QStringLiteral("Cache")))
      configured = registry.ReadString(QStringLiteral("Cache"));
  } catch (...) {
    registry.CloseKey();
    throw;
  }
  registry.CloseKey();
  if (configured) {
    if (UsableCacheFolder(*configured)) return configured;
    return std::nullopt;
  }

  const QString cacheRoot = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
  for (const char* browser : {"mozilla/firefox", "chromium", "google-chrome"}) {
    const QString folder = cacheRoot + u'/' + QString::fromLatin1(browser);
    if (UsableCacheFolder(folder)) return folder;
  }
  return std::nullopt;
}
