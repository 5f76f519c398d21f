#pragma once

#include <QByteArray>
#include <QString>
#include <string>

// Text files (language files, list files) come from an 8-bit world: they are read as UTF-8 when
// the bytes are valid UTF-8, otherwise decoded with the code page named by VANTREL_CODEPAGE
// (any name QStringDecoder knows, e.g. windows-1251), default windows-1252. A UTF-8 byte-order
// mark at the start is skipped.
QString DecodeText(const QByteArray& bytes);

// Names on disk are bytes: they are matched and shown as UTF-8, invalid bytes as U+FFFD. A
// leading U+FEFF is a character of the name (or mask), not a byte-order mark.
QString NameToText(const char* bytes, size_t length);

// A name or path made safe to show, as one line that names exactly its bytes: control
// characters (newline, escape...), format characters (U+00AD, U+200B-U+200F, U+2060-U+2064,
// U+FEFF, bidi controls...), separators other than the plain space, noncharacters and bytes that
// are not valid UTF-8 appear as visible escapes (\n, \r, \t, \x1b, \xff, \u202e, \U000e0001); a
// backslash is doubled only when it would otherwise read as such an escape.
QString DisplayPath(const char* bytes, size_t length);
// The same, appended to out as UTF-8, without a round trip through text.
void AppendDisplayPath(std::string& out, const char* bytes, size_t length);
