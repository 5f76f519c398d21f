#pragma once

#include <QJsonValue>
#include <QString>
#include <optional>

// The per-user store that stands in for HKEY_CURRENT_USER: a JSON file,
// $XDG_CONFIG_HOME/vantrel/registry.json (default ~/.config/vantrel/registry.json), with one
// top-level member per key, named by its path without a leading backslash
// ({"SOFTWARE\\Vantrel\\Options": {"AutoCheckHD": 0, "Language": "x.lng"}}). Key paths and value
// names compare without regard to case. Every call reads the file afresh. Writes take a
// QLockFile, re-read, change one value and save with SaveFileWhole (the old file is replaced only
// by a new one whose every write and sync succeeded). A file that is not
// valid JSON (or not an object) is never overwritten: every key then counts as one that cannot
// be opened.
namespace RegistryStore {

// Path of the backing file, from the environment at the time of the call.
QString FilePath();

// Normalised key path: leading backslashes removed.
QString NormaliseKey(const QString& keyPath);

// Whether the key exists (false also when the file is corrupt or unreadable).
bool KeyExists(const QString& keyPath);

// Creates the key when missing. False when it cannot be created (corrupt file, unwritable
// directory, lock timeout).
bool CreateKey(const QString& keyPath);

// The value, or nullopt when the key or the value is missing or the file is corrupt.
std::optional<QJsonValue> ReadValue(const QString& keyPath, const QString& name);

// Stores the value (replacing any earlier value of that name, whatever its case), creating the
// key when missing. False on any failure.
bool WriteValue(const QString& keyPath, const QString& name, const QJsonValue& value);

}  // namespace RegistryStore
