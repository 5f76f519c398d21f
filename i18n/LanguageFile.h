#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class TRegistry;

// The language directory, relative to the working directory.
inline const QString kLanguageDir = QStringLiteral("Language");

// A window's language-file handle: only a path, "Language/" + the registry value `Language`.
// Opening neither reads nor checks the file; every lookup reads the file as it is then.
class TLanguageFile {
 public:
  // Sets root, opens the options key (creating it unless createKey is false), reads `Language`
  // (missing value or unopenable key: empty), closes the key, and names "Language/" + value.
  // Throws the store's ERegistryException ("Invalid data type for 'Language'") when the value
  // is not a string; the handle is then left as it was.
  void OpenLanguageFile(TRegistry& registry, bool createKey = true);

  // The key's value from the file, or the default when the value is empty (the path then
  // names the directory), the file is missing or unreadable, or the section or key is missing.
  // Never fails.
  QString ReadLanguageString(const QString& section, const QString& key,
                             const QString& defaultValue) const;

  const QString& Path() const { return path_; }
  void SetPath(const QString& path) { path_ = path; }

 private:
  QString path_ = kLanguageDir + u'/';
};

// Appends to items the bare names of the "*.lng" files (matched with FitsMask, so LNG in
// capitals counts and "x.lng.bak" does not) found in directory and every subdirectory, in the
// order the file system returns them, unsorted, duplicates kept. processEvents runs once per
// directory walked. When the directory does not exist, shows the warning box "No language
// files" titled with section Masks, key Attention (default "Attention") looked up through
// language, then goes on (finding nothing).
void ListLanguageFiles(QStringList& items, const QString& directory, const TLanguageFile& language,
                       const std::function<void()>& processEvents);
