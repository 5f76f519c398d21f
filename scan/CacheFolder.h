#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <memory>
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
// Throws ERegistryException when "Cache" is not a string. usable tells whether a folder may be
// emptied (by default UsableCacheFolder below).
using TFolderTest = std::function<bool(const QString& folder)>;
std::optional<QString> FindCacheFolder(TRegistry& registry, const TFolderTest& usable = {});

// Whether a folder may be emptied by the cache cleaning, looked at by this thread.
bool UsableCacheFolder(const QString& folder);
// The same, looked at by the helper while wait keeps the window live; false when the helper
// is gone first or the program ends.
class THelperClient;
class TWakeUp;
bool UsableCacheFolder(const std::shared_ptr<THelperClient>& helper, const QString& folder,
                       const std::function<bool(TWakeUp&, std::chrono::milliseconds)>& wait);
