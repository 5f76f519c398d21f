#pragma once

#include <QByteArray>
#include <QString>

// Text files (language files, list files) come from an 8-bit world: they are read as UTF-8 when
// the bytes are valid UTF-8, otherwise decoded with the code page named by VANTREL_CODEPAGE
// (any name QStringDecoder knows, e.g. windows-1251), default windows-1252. A UTF-8 byte-order
// mark at the start is skipped.
QString DecodeText(const QByteArray& bytes);

// Names on disk are bytes: they are matched and shown as UTF-8, invalid bytes as U+FFFD.
QString NameToText(const char* bytes, size_t length);

// A name or path made safe to show: control characters (newline, escape...), bidi overrides and
// bytes that are not valid UTF-8 appear as visible escapes (\n, \x1b, \u202e, \xff); a
// backslash is doubled only when it would otherwise read as such an escape.
QString DisplayPath(const char* bytes, size_t length);
