#include "scan/CacheFolder.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QFile>
#include <QStandardPaths>

#include "helper/CacheFolderGuard.h"
#include "platform/UniqueFd.h"
#include "settings/Registry.h"

namespace {

// Only looked at, never listed.
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

}  // namespace

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
