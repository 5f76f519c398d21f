#include "helper/SafeUnlink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

}  // namespace

TSafeUnlink::Reach TSafeUnlink::OpenFolder(const TFoundFile& entry, size_t nameStart) {
  const std::string_view path(entry.path);
  const size_t rootLength = entry.relativeStart;
  const auto failed = [] { return errno == ENOENT ? Reach::Gone : Reach::Blocked; };

  // The root folder is the drive (or cache folder) as configured, which may be reached
  // through a link of its own; everything below it must be real directories.
  const std::string_view root = path.substr(0, rootLength);
  if (chain_.empty() || chain_.front().name != root) {
    chain_.clear();
    UniqueFd fd(::open(std::string(root).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.Valid()) return failed();
    chain_.push_back(Folder{std::string(root), std::move(fd)});
  }

  size_t depth = 1;  // chain_[depth] is the folder of the next component
  size_t start = rootLength;
  while (start < nameStart && depth < kMaxKeptFolders) {
    const size_t slash = path.find('/', start);
    const std::string_view component = path.substr(start, slash - start);
    if (depth < chain_.size() && chain_[depth].name == component) {
      ++depth;
      start = slash + 1;
      continue;
    }
    chain_.resize(depth);
    const std::string name(component);
    UniqueFd fd(::openat(chain_.back().fd.Get(), name.c_str(), kFolderFlags));
    if (!fd.Valid()) return failed();
    chain_.push_back(Folder{name, std::move(fd)});
    ++depth;
    start = slash + 1;
  }
  chain_.resize(depth);
  if (start >= nameStart) {
    folderFd_ = chain_.back().fd.Get();
    return Reach::Open;
  }

  // Deeper than the kept chain: the rest is walked afresh, and only its end is kept.
  const std::string_view folder = path.substr(0, nameStart);
  if (!deepFd_.Valid() || folder != deepFolder_) {
    deepFd_.Reset();
    deepFolder_.clear();
    UniqueFd fd(::dup(chain_.back().fd.Get()));
    while (start < nameStart) {
      const size_t slash = path.find('/', start);
      const std::string component(path.substr(start, slash - start));
      UniqueFd next(::openat(fd.Get(), component.c_str(), kFolderFlags));
      if (!next.Valid()) return failed();
      fd = std::move(next);
      start = slash + 1;
    }
    deepFd_ = std::move(fd);
    deepFolder_ = folder;
  }
  folderFd_ = deepFd_.Get();
  return Reach::Open;
}

bool TSafeUnlink::Delete(const TFoundFile& entry) {
  return Remove(entry,
                [](int folderFd, const char* name) { return ::unlinkat(folderFd, name, 0) == 0; });
}

bool TSafeUnlink::Remove(const TFoundFile& entry, const Removal& act) {
  const size_t slash = entry.path.rfind('/');
  if (slash == std::string::npos || slash + 1 < entry.relativeStart) return false;
  const size_t nameStart = slash + 1;
  switch (OpenFolder(entry, nameStart)) {
    case Reach::Gone:
      return true;
    case Reach::Blocked:
      return false;
    case Reach::Open:
      break;
  }
  const char* name = entry.path.c_str() + nameStart;
  struct stat st {};
  if (::fstatat(folderFd_, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  // The same file: same device and inode, and the same kind, since a file removed and made
  // anew (a link, a FIFO) may well get the old inode number back.
  const bool sameKind = entry.symlink ? S_ISLNK(st.st_mode) : S_ISREG(st.st_mode);
  if (static_cast<std::uint64_t>(st.st_dev) != entry.device ||
      static_cast<std::uint64_t>(st.st_ino) != entry.inode || !sameKind)
    return false;
  if (act(folderFd_, name)) return true;
  // The test is whether the file is gone, not what the call said.
  return ::fstatat(folderFd_, name, &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
}

bool TSafeUnlink::Stat(const TFoundFile& entry, struct stat& st) {
  const size_t slash = entry.path.rfind('/');
  if (slash == std::string::npos || slash + 1 < entry.relativeStart) return false;
  const size_t nameStart = slash + 1;
  if (OpenFolder(entry, nameStart) != Reach::Open) return false;
  return ::fstatat(folderFd_, entry.path.c_str() + nameStart, &st, AT_SYMLINK_NOFOLLOW) == 0;
}
