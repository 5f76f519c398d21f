#pragma once

#include <QString>
#include <optional>

#include "helper/CacheFolderGuard.h"

class TRegistry;

// The folder the internet cache cleaning empties: the "Cache" value of the shell-folders key in
// the settings store when present, otherwise the first browser cache folder found under
// $XDG_CACHE_HOME (default ~/.cache): mozilla/firefox, chromium, google-chrome. A folder that is
// "/", a home folder or a folder holding it (however named: through links, "..") or not a
// directory counts as missing: emptying one of those would be a disaster. nullopt when nothing
// usable is found.
//
// Opens the shell-folders key (creating it, as every opening does), reads, and closes it.
// Throws ERegistryException when "Cache" is not a string.
std::optional<QString> FindCacheFolder(TRegistry& registry);

// Whether a folder may be emptied by the cache cleaning.
bool UsableCacheFolder(const QString& folder);
