#pragma once

#include <QString>
#include <cstdint>

// The options key every window opens.
inline const QString kOptionsKey = QStringLiteral("\\SOFTWARE\\Vantrel\\Options");
// The system's shell-folders key, read for the "Cache" value only.
inline const QString kShellFoldersKey =
    QStringLiteral("\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");

// A window's registry accessor over RegistryStore. Value kinds: a JSON string is a string value
// (REG_SZ, its data the UTF-8 text plus a terminating NUL), a JSON integer in 32-bit range an
// integer value (REG_DWORD, 4 bytes), anything else a value of another kind whose data size is
// the length of its compact JSON text plus one.
//
// Failures throw ERegistryException with the exact texts:
//   "Invalid data type for '%s'", "Failed to get data for '%s'", "Failed to set data for '%s'".
class TRegistry {
 public:
  // Selects HKEY_CURRENT_USER (the only root there is); harmless when already selected.
  void SetRoot() {}

  // Opens the key, creating it (and its file) when missing and create is true; it becomes the
  // current key in place of any key still open. Returns false when it can be neither opened nor
  // created; callers ignore the result.
  bool OpenKey(const QString& keyPath, bool create);

  // True when a value of that name exists in the current key, whatever its kind. False when no
  // key is open or the key could not be opened.
  bool ValueExists(const QString& name) const;

  // The stored text cut at its first NUL. Missing value or no open key: empty, no error. A value
  // that is not a string: "Invalid data type for '%s'".
  QString ReadString(const QString& name) const;

  // The stored 32-bit integer. Missing value (or no open key), or data longer than 4 bytes:
  // "Failed to get data for '%s'"; at most 4 bytes but not an integer: "Invalid data type...".
  std::int32_t ReadInteger(const QString& name) const;

  // Store a string / integer value, replacing any value of that name. Any failure (no key
  // open, key unopenable, file corrupt, disk error): "Failed to set data for '%s'".
  void WriteString(const QString& name, const QString& value);
  void WriteInteger(const QString& name, std::int32_t value);

  // Releases the open key. Harmless when none is open.
  void CloseKey();

  bool KeyOpen() const { return open_; }

 private:
  QString key_;
  bool open_ = false;
};
