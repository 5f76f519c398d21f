#pragma once

#include <QByteArray>
#include <QString>

// Replaces the file at path with bytes so that the old file gives way only to a new one whose
// every write and sync succeeded: a temporary file in the same folder (".NAME.XXXXXX", the
// old file's permission bits, 0666 less the umask for a new one; run as root, never writable by
// group or others) is written whole, fdatasync'd and closed, each checked (a disk or share
// reporting a write error at the flush fails here), then renamed over the file, and the folder
// is synced. On any failure before the rename the old file stays untouched and the temporary
// file is removed. A link in path's place is followed (the file it names is replaced, the link
// stays). A folder that refuses the temporary file (no write permission) around an existing
// file that may be written gets the file written in place instead, truncated first. False on any
// failure, also when the folder's sync fails after the rename (the new file is then in place,
// but not known to be on the disk); a file system that cannot sync folders at all (EINVAL)
// counts as synced.
bool SaveFileWhole(const QString& path, const QByteArray& bytes);
