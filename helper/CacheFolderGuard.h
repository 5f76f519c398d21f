#pragma once

// Whether a folder already open may be emptied by the cache cleaning: neither "/" nor a home
// folder ($HOME and the password database's, see HomeFolders) nor one of their ancestors,
// compared by device and inode. When no home folder can be told, no folder is usable.
bool UsableCacheFolder(int folderFd);
