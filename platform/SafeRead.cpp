#include "platform/SafeRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <cerrno>

#include "platform/UniqueFd.h"

namespace {

FileIdentity IdentityOf(const struct stat& st) {
  FileIdentity id;
  id.device = static_cast<quint64>(st.st_dev);
  id.inode = static_cast<quint64>(st.st_ino);
  id.links = static_cast<quint64>(st.st_nlink);
  id.size = static_cast<qint64>(st.st_size);
  id.mtimeNs = static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  id.ctimeNs = static_cast<qint64>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  return id;
}

// A root run only trusts files that only root could have written.
bool TrustedOwner(const struct stat& st) {
  if (::geteuid() != 0) return true;
  return st.st_uid == 0 && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool Acceptable(const struct stat& st) {
  return S_ISREG(st.st_mode) && st.st_size <= kMaxConfigFileSize && TrustedOwner(st);
}

}  // namespace

std::optional<QByteArray> ReadConfigFile(const QString& path) {
  return ReadConfigFile(path, nullptr);
}

std::optional<QByteArray> ReadConfigFile(const QString& path, bool* missing,
                                         FileIdentity* identity) {
  if (missing != nullptr) *missing = false;
  if (path.isEmpty()) {
    if (missing != nullptr) *missing = true;
    return std::nullopt;
  }
  const QByteArray name = QFile::encodeName(path);
  // Look before opening: opening a device node can have effects of its own.
  struct stat st {};
  if (::stat(name.constData(), &st) != 0) {
    if (missing != nullptr) *missing = (errno == ENOENT);
    return std::nullopt;
  }
  if (!Acceptable(st)) return std::nullopt;

  UniqueFd fd(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.Valid()) {
    if (missing != nullptr) *missing = (errno == ENOENT);
    return std::nullopt;
  }
  // The name may have been swapped between the two looks; the descriptor is what counts.
  if (::fstat(fd.Get(), &st) != 0 || !Acceptable(st)) return std::nullopt;

  QByteArray bytes;
  bytes.reserve(static_cast<qsizetype>(st.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (got == 0) break;
    // The file may grow while it is read: the cap holds for what is read, too.
    if (bytes.size() + got > kMaxConfigFileSize) return std::nullopt;
    bytes.append(buffer, static_cast<qsizetype>(got));
  }
  if (identity != nullptr) *identity = IdentityOf(st);
  return bytes;
}

bool RecentlyChanged(const FileIdentity& identity) {
  constexpr qint64 kMarginNs = 3'000'000'000;
  const qint64 nowNs = QDateTime::currentMSecsSinceEpoch() * 1'000'000;
  return identity.mtimeNs > nowNs - kMarginNs || identity.ctimeNs > nowNs - kMarginNs;
}

std::optional<FileIdentity> StatFileIdentity(const QString& path) {
  if (path.isEmpty()) return std::nullopt;
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return std::nullopt;
  return IdentityOf(st);
}

bool RegularFileExists(const QString& path) {
  if (path.isEmpty()) return false;
  struct stat st {};
  return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}
