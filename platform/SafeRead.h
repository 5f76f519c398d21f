#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Reads a small configuration file (list file, language file) whole, without ever blocking:
// opened with O_NONBLOCK and checked with fstat to be a regular file (a FIFO, a directory or
// /dev/zero in its place gives nullopt), refused when larger than kMaxConfigFileSize. When the
// process runs as root, a file not owned by root or writable by group or others is refused too,
// so a planted file in a shared working directory cannot steer a root run. The path is relative
// to the working directory unless absolute.
inline constexpr qint64 kMaxConfigFileSize = 16 * 1024 * 1024;
std::optional<QByteArray> ReadConfigFile(const QString& path);

// What one stat tells about a file's state: any write, replacement, chmod, chown or new or removed
// hard link changes it.
struct FileIdentity {
  quint64 device = 0;
  quint64 inode = 0;
  quint64 links = 0;
  qint64 size = 0;
  qint64 mtimeNs = 0;
  qint64 ctimeNs = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// As above; when it gives nullopt, *missing (if given) tells a file that is not there (nothing
// of that name, or a directory on the way missing) from one that is there but cannot be read.
// *identity (if given) is the identity of the descriptor actually read.
std::optional<QByteArray> ReadConfigFile(const QString& path, bool* missing,
                                         FileIdentity* identity = nullptr);

// File times advance in ticks of several milliseconds (two seconds on FAT): a file changed
// within the last few seconds may change again without its identity changing, so an identity
// this fresh cannot prove later that the file is unchanged.
bool RecentlyChanged(const FileIdentity& identity);

// The identity of the file the path names now (following symbolic links); nullopt when it
// cannot be stat'ed.
std::optional<FileIdentity> StatFileIdentity(const QString& path);

// True when path names a regular file (following symbolic links), never a directory.
bool RegularFileExists(const QString& path);
