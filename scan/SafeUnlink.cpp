#include "scan/SafeUnlink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

}  // namespace

TSafeUnlink::Reach TSafeUnlink::OpenFolder(const ResultEntry& entry, size_t nameStart) {
  const std::string_view path(entry.path.constData(), static_cast<size_t>(entry.path.size()));
  const std::string folder(path.substr(0, nameStart));
  if (folderFd_.Valid() && folder == folder_) return Reach::Open;
  folderFd_.Reset();
  folder_.clear();

  // The root folder is the drive (or cache folder) as configured, which may be reached
  // through a link of its own; everything below it must be real directories.
  const size_t rootLength = entry.relativeStart;
  const std::string root(path.substr(0, rootLength));
  UniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.Valid()) return errno == ENOENT ? Reach::Gone : Reach::Blocked;
  size_t start = rootLength;
  while (start < nameStart) {
    const size_t slash = path.find('/', start);
    const std::string component(path.substr(start, slash - start));
    UniqueFd next(::openat(fd.Get(), component.c_str(), kFolderFlags));
    if (!next.Valid()) return errno == ENOENT ? Reach::Gone : Reach::Blocked;
    fd = std::move(next);
    start = slash + 1;
  }
  folderFd_ = std::move(fd);
  folder_ = folder;
  return Reach::Open;
}

bool TSafeUnlink::Delete(const ResultEntry& entry) {
  const qsizetype slash = entry.path.lastIndexOf('/');
  if (slash < 0 || static_cast<quint32>(slash) + 1 < entry.relativeStart) return false;
  const size_t nameStart = static_cast<size_t>(slash) + 1;
  switch (OpenFolder(entry, nameStart)) {
    case Reach::Gone:
      return true;
    case Reach::Blocked:
      return false;
    case Reach::Open:
      break;
  }
  const std::string name(entry.path.constData() + nameStart,
                         static_cast<size_t>(entry.path.size()) - nameStart);
  struct stat st {};
  if (::fstatat(folderFd_.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT;
  if (static_cast<quint64>(st.st_dev) != entry.device ||
      static_cast<quint64>(st.st_ino) != entry.inode || S_ISDIR(st.st_mode))
    return false;
  ::unlinkat(folderFd_.Get(), name.c_str(), 0);
  // The test is whether the file is gone, not what the call said.
  return ::fstatat(folderFd_.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
}

bool TSafeUnlink::Stat(const ResultEntry& entry, struct stat& st) {
  const qsizetype slash = entry.path.lastIndexOf('/');
  if (slash < 0 || static_cast<quint32>(slash) + 1 < entry.relativeStart) return false;
  const size_t nameStart = static_cast<size_t>(slash) + 1;
  if (OpenFolder(entry, nameStart) != Reach::Open) return false;
  return ::fstatat(folderFd_.Get(), entry.path.constData() + nameStart, &st, AT_SYMLINK_NOFOLLOW) ==
         0;
}
