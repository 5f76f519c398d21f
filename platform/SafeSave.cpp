#include "platform/SafeSave.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <string>

#include "platform/UniqueFd.h"

namespace {

// The file a path names once its links are followed (at most 40, as the kernel does); the path
// itself when it is no link or names nothing yet.
std::string FinalPath(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof target) return path;
    std::string next(target, static_cast<size_t>(length));
    const size_t slash = path.rfind('/');
    if (next.front() != '/' && slash != std::string::npos) next = path.substr(0, slash + 1) + next;
    path = std::move(next);
  }
  return path;
}

bool WriteAll(int fd, const QByteArray& bytes) {
  for (qsizetype done = 0; done < bytes.size();) {
    const ssize_t n =
        ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += n;
  }
  return true;
}

// A fresh name beside the file; the file made with O_EXCL, so nothing of that name is taken.
UniqueFd MakeTemporary(const std::string& folder, const std::string& base, std::string& name) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[6];
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) break;
    name = folder + '.' + base + '.';
    for (const unsigned char r : random) name += kLetters[r % (sizeof kLetters - 1)];
    UniqueFd fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (fd.Valid() || errno != EEXIST) return fd;
  }
  return UniqueFd();
}

}  // namespace

bool SaveFileWhole(const QString& path, const QByteArray& bytes) {
  if (path.isEmpty()) return false;
  const std::string final = FinalPath(QFile::encodeName(path).toStdString());
  const size_t slash = final.rfind('/');
  const std::string folder =
      slash == std::string::npos ? std::string() : final.substr(0, slash + 1);
  const std::string base = final.substr(folder.size());
  if (base.empty()) return false;

  struct stat old {};
  const bool exists = ::stat(final.c_str(), &old) == 0;
  // A file its owner made read-only is not saved over (as QSaveFile would not either).
  if (exists && (S_ISDIR(old.st_mode) || ::access(final.c_str(), W_OK) != 0)) return false;

  std::string temporary;
  UniqueFd fd = MakeTemporary(folder, base, temporary);
  if (!fd.Valid()) {
    // A folder that takes no new file, around a file the user may write: the file is written in
    // place, as the only way to save it at all.
    if (!exists || (errno != EACCES && errno != EPERM)) return false;
    UniqueFd in(::open(final.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC));
    return in.Valid() && WriteAll(in.Get(), bytes) && ::fdatasync(in.Get()) == 0 &&
           ::close(in.Release()) == 0;
  }
  // A root run reads back only files nobody else may write (SafeRead.h): what it saves, also
  // under a umask of 0002, is one of them.
  mode_t mode = 0;
  struct stat made {};
  if (exists) {
    mode = old.st_mode & 07777;
  } else if (::fstat(fd.Get(), &made) == 0) {
    mode = made.st_mode & 07777;
  }
  if (::geteuid() == 0) mode &= ~static_cast<mode_t>(S_IWGRP | S_IWOTH);
  const bool written = ::fchmod(fd.Get(), mode) == 0 && WriteAll(fd.Get(), bytes) &&
                       ::fdatasync(fd.Get()) == 0 && ::close(fd.Release()) == 0;
  if (!written || ::rename(temporary.c_str(), final.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  // The rename itself reaches the disk with the folder.
  const UniqueFd dir(
      ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return dir.Valid() && (::fsync(dir.Get()) == 0 || errno == EINVAL);
}
