#pragma once

#include <string_view>

// Whether a name, with A to Z turned into a to z, equals lower (which is lower case already).
inline bool EqualsFolded(std::string_view name, std::string_view lower) {
  if (name.size() != lower.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const char folded = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
    if (folded != lower[i]) return false;
  }
  return true;
}

// A directory whose contents the check lists whole: temp, tmp or temporary, in any letter case.
inline bool IsTemporaryFolderName(std::string_view name) {
  return EqualsFolded(name, "temp") || EqualsFolded(name, "tmp") || EqualsFolded(name, "temporary");
}
