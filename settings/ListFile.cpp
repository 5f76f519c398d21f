#include "settings/ListFile.h"

#include <algorithm>

#include "platform/Errors.h"
#include "platform/SafeRead.h"
#include "platform/SafeSave.h"
#include "platform/TextCodec.h"

QStringList ParseListText(const QByteArray& bytes) {
  // Whatever follows a NUL is not part of the text, not even for telling its encoding.
  const qsizetype nul = bytes.indexOf('\0');
  const QString text = DecodeText(nul < 0 ? bytes : bytes.left(nul));
  QStringList entries;
  const qsizetype n = text.size();
  qsizetype i = 0;
  while (i < n) {
    qsizetype end = i;
    while (end < n && text.at(end) != u'\r' && text.at(end) != u'\n') ++end;
    entries.append(text.sliced(i, end - i));
    i = end;
    if (i < n && text.at(i) == u'\r') ++i;
    if (i < n && text.at(i) == u'\n') ++i;
  }
  return entries;
}

QByteArray FormatListText(const QStringList& entries) {
  QByteArray bytes;
  for (const QString& entry : entries) {
    bytes += entry.toUtf8();
    bytes += "\r\n";
  }
  // Reading skips one byte-order mark at the start; a first entry that itself begins with
  // U+FEFF gets a mark in front, so that it reads back whole.
  static const QByteArray kByteOrderMark("\xEF\xBB\xBF");
  if (bytes.startsWith(kByteOrderMark)) bytes.prepend(kByteOrderMark);
  return bytes;
}

QStringList LoadListFile(const QString& name) {
  const std::optional<QByteArray> bytes = ReadConfigFile(name);
  if (!bytes) throw EFileError(QStringLiteral("Cannot open file %1").arg(name));
  return ParseListText(*bytes);
}

void SaveListFile(const QStringList& entries, const QString& name) {
  if (!SaveFileWhole(name, FormatListText(entries)))
    throw EFileError(QStringLiteral("Cannot create file %1").arg(name));
}

bool ListFileExists(const QString& name) {
  return RegularFileExists(name);
}

int CompareEntries(const QString& a, const QString& b) {
  return QString::compare(a, b, Qt::CaseInsensitive);
}

int SortedInsertIndex(const QStringList& sorted, const QString& entry) {
  const auto it =
      std::upper_bound(sorted.begin(), sorted.end(), entry,
                       [](const QString& a, const QString& b) { return CompareEntries(a, b) < 0; });
  return static_cast<int>(it - sorted.begin());
}

void SortEntries(QStringList& entries) {
  std::stable_sort(entries.begin(), entries.end(),
                   [](const QString& a, const QString& b) { return CompareEntries(a, b) < 0; });
}
