#include "about/FileVersion.h"

std::optional<TVersionRecord> ProgramVersionRecord() {
  return TVersionRecord{
      QStringLiteral(VANTREL_VERSION),
      {VANTREL_VERSION_MAJOR, VANTREL_VERSION_MINOR, VANTREL_VERSION_PATCH, VANTREL_VERSION_TWEAK}};
}

QString GetFileVersionText(const std::optional<TVersionRecord>& record) {
  if (!record) return QString();
  if (!record->fileVersion.isEmpty()) return record->fileVersion;
  const auto& n = record->fixedFileVersion;
  return QStringLiteral("%1.%2.%3.%4").arg(n[0]).arg(n[1]).arg(n[2]).arg(n[3]);
}
