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

// True when path names a regular file (following symbolic links), never a directory.
bool RegularFileExists(const QString& path);
