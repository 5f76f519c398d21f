#include "scan/StatusTexts.h"

#include <cmath>

#include "i18n/Catalogue.h"
#include "i18n/LanguageFile.h"

QString SizeText(quint64 bytes) {
  // The thresholds are binary-looking, the divisors decimal: the panel has always read so.
  double value = static_cast<double>(bytes);
  QString unit = QStringLiteral(" bytes");
  if (bytes > 1024000) {
    value = value * 0.000001;
    unit = QStringLiteral(" Mb");
  } else if (bytes > 1024) {
    value = value * 0.001;
    unit = QStringLiteral(" Kb");
  }
  // nearbyint rounds in the default mode, to nearest with halfway cases to even.
  return QString::number(static_cast<quint64>(std::nearbyint(value))) + unit;
}

QString TotalSizeText(const TLanguageFile& language, quint64 bytes) {
  return Tr(language, Txt::Find_TotalSize) + QStringLiteral(": ") + SizeText(bytes);
}

QString FilesText(const TLanguageFile& language, qsizetype count) {
  return Tr(language, Txt::Find_Files) + QStringLiteral(": ") + QString::number(count);
}

QString ScanningText(const TLanguageFile& language, const QString& directory) {
  return u' ' + Tr(language, Txt::Find_Scanning) + QStringLiteral(": [") + directory + u']';
}

QString TempDirectoriesText(const TLanguageFile& language) {
  return u' ' + Tr(language, Txt::Find_Scanning) + QStringLiteral(": [Temporary directories]");
}

QString CleaningText(const TLanguageFile& language) {
  return u' ' + Tr(language, Txt::Find_Cleaning) + QStringLiteral(": [Temporary Internet Files]");
}

QString FinishedText(const TLanguageFile& language) {
  return u' ' + Tr(language, Txt::Find_Finished);
}

QString DeletedText(const TLanguageFile& language, qsizetype deleted, qsizetype found) {
  return u' ' + Tr(language, Txt::Find_Deleted) + u' ' + QString::number(deleted) + u' ' +
         Tr(language, Txt::Find_Of) + u' ' + QString::number(found);
}

QString CannotDeleteSuffix(const TLanguageFile& language) {
  return QStringLiteral(" (") + Tr(language, Txt::Find_CannotDel) + u')';
}

QString NoDiskTitle(const TLanguageFile& language) {
  return Tr(language, Txt::Masks_Attention);
}

QString NoDiskText(const TLanguageFile& language) {
  return Tr(language, Txt::Find_NoDisk) + u'!';
}
