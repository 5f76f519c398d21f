#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The two list files, "vantrel.ini" (masks) and "exceptions.ini" (exceptions): one entry per
// line, CR LF after every line, named relative to the working directory.
inline const QString kMasksFileName = QStringLiteral("vantrel.ini");
inline const QString kExceptionsFileName = QStringLiteral("exceptions.ini");

// Splits file bytes into entries: an entry runs up to the next CR, LF or NUL; after it one CR
// then one LF are skipped; a NUL ends the text; a trailing line end adds no empty entry; blank
// lines give empty entries. Bytes are decoded with DecodeText. Entries come in file order.
QStringList ParseListText(const QByteArray& bytes);

// Every entry as UTF-8 followed by CR LF; an empty list gives no bytes.
QByteArray FormatListText(const QStringList& entries);

// Loads the file's entries in file order (callers sort). Throws EFileError
// "Cannot open file %s" (the name as given) when it cannot be read (missing, not a regular
// file, too large, refused; see ReadConfigFile).
QStringList LoadListFile(const QString& name);

// Writes the entries with SaveFileWhole (aside, written, synced, then renamed). Throws EFileError
// "Cannot create file %s" on any failure; the previous file then stays intact.
void SaveListFile(const QStringList& entries, const QString& name);

// True when a regular file (not a directory) of that name exists.
bool ListFileExists(const QString& name);

// The lists are kept sorted without regard to case. CompareEntries orders two entries;
// SortedInsertIndex gives the place where entry goes (after equal ones); SortEntries is a
// stable sort with that order.
int CompareEntries(const QString& a, const QString& b);
int SortedInsertIndex(const QStringList& sorted, const QString& entry);
void SortEntries(QStringList& entries);
