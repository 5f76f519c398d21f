#include "scan/ExceptionsFile.h"

#include "platform/Errors.h"

void TExceptionsFile::Fail() const {
  throw EFileError(QStringLiteral("Cannot open file %1").arg(name_));
}

void TExceptionsFile::Load() {
  FileIdentity identity;
  const std::optional<QByteArray> bytes = ReadConfigFile(name_, nullptr, &identity);
  if (!bytes) Fail();
  QStringList entries = ParseListText(*bytes);
  SortEntries(entries);
  entries_ = std::move(entries);
  identity_ = identity;
}

bool TExceptionsFile::Refresh() {
  const std::optional<FileIdentity> now = StatFileIdentity(name_);
  if (!now) Fail();
  if (identity_ && *now == *identity_) return false;
  Load();
  return true;
}
