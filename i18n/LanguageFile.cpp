#include "i18n/LanguageFile.h"

#include <QDirIterator>
#include <QFileInfo>

#include "i18n/Catalogue.h"
#include "i18n/ProfileFile.h"
#include "platform/MessageBox.h"
#include "scan/Mask.h"
#include "settings/Registry.h"

namespace {

const QString kLanguageMask = QStringLiteral("*.lng");

void WalkLanguageDirectory(QStringList& items, const QString& directory,
                           const std::function<void()>& processEvents) {
  if (processEvents) processEvents();
  QDirIterator it(directory, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  while (it.hasNext()) {
    it.next();
    const QFileInfo info = it.fileInfo();
    // A linked directory is not entered: a link back up the tree would never end the walk.
    if (info.isDir()) {
      if (!info.isSymLink()) WalkLanguageDirectory(items, info.filePath(), processEvents);
      continue;
    }
    if (FitsMask(info.fileName(), kLanguageMask)) items.append(info.fileName());
  }
}

}  // namespace

void TLanguageFile::OpenLanguageFile(TRegistry& registry, bool createKey) {
  registry.SetRoot();
  registry.OpenKey(kOptionsKey, createKey);
  QString value;
  try {
    value = registry.ReadString(QStringLiteral("Language"));
  } catch (...) {
    registry.CloseKey();
    throw;
  }
  registry.CloseKey();
  path_ = kLanguageDir + u'/' + value;
}

QString TLanguageFile::ReadLanguageString(const QString& section, const QString& key,
                                          const QString& defaultValue) const {
  return ReadProfileString(path_, section, key, defaultValue);
}

void ListLanguageFiles(QStringList& items, const QString& directory, const TLanguageFile& language,
                       const std::function<void()>& processEvents) {
  if (!QFileInfo(directory).isDir()) {
    ShowMessageBox(Tr(language, Txt::Masks_Attention), QStringLiteral("No language files"),
                   MessageIcon::Warning);
    return;
  }
  WalkLanguageDirectory(items, directory, processEvents);
}
