#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The language files' INI reader, with the rules of the system's profile-file lookup:
// "[Section]" lines start sections; "Key=Value" lines under them; section and key names match
// without regard to case (first match wins); blanks around a value are dropped; a value in a
// matching pair of double or single quotes is returned without them (blanks inside kept);
// "Key=" gives the empty text; at most 2047 characters of a value are returned. Lines without
// "=" and unknown sections are ignored.
inline constexpr int kMaxProfileValueLength = 2047;

// Lookup in file content already decoded to text. nullopt when the section or key is missing.
std::optional<QString> LookupProfileText(const QString& text, const QString& section,
                                         const QString& key);

// Lookup in a file on disk (read with ReadConfigFile, decoded with DecodeText). Returns the
// default for every failure: missing or unreadable file, path naming a directory, missing
// section or key.
QString ReadProfileString(const QString& path, const QString& section, const QString& key,
                          const QString& defaultValue);
