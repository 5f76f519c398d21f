#include "scan/CacheFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "settings/Registry.h"

bool UsableCacheFolder(const QString& folder) {
  if (folder.isEmpty()) return false;
  const QFileInfo info(folder);
  if (!info.isDir()) return false;
  const QString canonical = info.canonicalFilePath();
  if (canonical.isEmpty() || canonical == QStringLiteral("/")) return false;
  return canonical != QFileInfo(QDir::homePath()).canonicalFilePath();
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
