#include "helper/DirectoryWalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/DriveMap.h"

namespace {

constexpr size_t kReadSize = 32 * 1024;
constexpr int kHeartbeatEntries = 256;
constexpr int kSubdirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr int kRootFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;  // a drive may be a link

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

unsigned char TypeByStat(int dirFd, const char* name) {
  struct stat st {};
  if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return DT_UNKNOWN;
  if (S_ISDIR(st.st_mode)) return DT_DIR;
  if (S_ISREG(st.st_mode)) return DT_REG;
  if (S_ISLNK(st.st_mode)) return DT_LNK;
  return DT_UNKNOWN;
}

namespace {

bool Identify(int fd, FolderIdentity& id) {
  struct statx sx {};
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_INO, &sx) == 0) {
    id.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    id.inode = sx.stx_ino;
    id.mountRoot = (sx.stx_attributes_mask & sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    return true;
  }
  // No statx (an old kernel, or a system call filter): the mount table alone tells mounts.
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.mountRoot = false;
  return true;
}

// A btrfs subvolume that is not mounted anywhere is a part of its drive, though the kernel gives
// it a device number of its own: the root directory of a subvolume (inode 256 on btrfs), not
// the root of a mount. A mounted subvolume is a mount root, and so its own drive.
constexpr ino_t kBtrfsSubvolumeRootInode = 256;

bool IsUnmountedSubvolume(int fd, const FolderIdentity& id) {
  if (id.inode != kBtrfsSubvolumeRootInode || id.mountRoot) return false;
  struct statfs fs {};
  return ::fstatfs(fd, &fs) == 0 && static_cast<unsigned long>(fs.f_type) == BTRFS_SUPER_MAGIC;
}

}  // namespace

bool EnterFolder(int parentFd, const char* name, bool isRoot, dev_t parentDevice,
                 const WalkVolume& volume, std::string_view path, UniqueFd& fd,
                 FolderIdentity& id) {
  fd.Reset(::openat(parentFd, name, isRoot ? kRootFlags : kSubdirectoryFlags));
  if (!fd.Valid() || !Identify(fd.Get(), id)) return false;
  if (isRoot ? id.device != volume.device
             : id.device != parentDevice && !IsUnmountedSubvolume(fd.Get(), id))
    return false;
  // Below the root, the root of any mount (a bind mount shares the device) is another volume.
  // The kernel tells it of the open directory itself, so a volume mounted after the mount table
  // was read is caught too.
  if (!isRoot && id.mountRoot) return false;
  // A mount point is listed without its "/". (The table serves kernels that cannot tell a
  // mount's root.)
  return volume.mountPoints == nullptr || volume.mountPoints->empty() || path.size() <= 1 ||
         !volume.mountPoints->contains(std::string(path.substr(0, path.size() - 1)));
}

std::unordered_set<std::string> MountPointsBelow(const std::string& root) {
  // The table names mount points by their real paths, the walk names directories after the
  // root as given, which may be reached through a link: the points are renamed accordingly.
  std::string real = root;
  if (char* resolved = ::realpath(root.c_str(), nullptr)) {
    real = resolved;
    std::free(resolved);
  }
  std::string prefix = real;
  if (prefix.empty() || prefix.back() != '/') prefix.push_back('/');
  std::string given = root;
  if (given.empty() || given.back() != '/') given.push_back('/');

  // Read afresh for every walk: a volume mounted while the program runs counts as well.
  QFile file(QStringLiteral("/proc/self/mountinfo"));
  const QByteArray table = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  std::unordered_set<std::string> below;
  for (const MountEntry& mount :
       ParseMountInfo(std::string_view(table.constData(), static_cast<size_t>(table.size())))) {
    const std::string& point = mount.mountPoint;
    if (point.size() <= prefix.size() || point.compare(0, prefix.size(), prefix) != 0) continue;
    std::string renamed = given + point.substr(prefix.size());
    if (renamed.back() == '/') renamed.pop_back();
    below.insert(std::move(renamed));
  }
  return below;
}

char* DirectoryWalk::ListingStack::Reserve(size_t bytes) {
  if (size_ + bytes > capacity_) {
    const size_t capacity = std::max(capacity_ * 2, size_ + bytes);
    std::unique_ptr<char[]> grown(new char[capacity]);
    if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_);
    data_ = std::move(grown);
    capacity_ = capacity;
  }
  return data_.get() + size_;
}

bool DirectoryWalk::ReadListing(Frame& frame) {
  frame.begin = listings_.Size();
  for (;;) {
    const ssize_t got = ::getdents64(frame.fd.Get(), listings_.Reserve(kReadSize), kReadSize);
    if (got < 0) {
      if (errno == EINTR) continue;
      // A listing cut short keeps what was read; one that never started means "cannot list".
      break;
    }
    if (got == 0) break;
    listings_.Commit(static_cast<size_t>(got));
  }
  frame.end = listings_.Size();
  frame.next = frame.begin;
  // Kinds the file system left unknown are asked once, here, for every pass over the listing.
  for (size_t at = frame.begin; at < frame.end;) {
    auto* entry = reinterpret_cast<struct dirent64*>(listings_.At(at));
    at += entry->d_reclen;
    if (entry->d_type == DT_UNKNOWN && !IsDotOrDotDot(entry->d_name))
      entry->d_type = TypeByStat(frame.fd.Get(), entry->d_name);
  }
  return frame.end > frame.begin;
}

bool DirectoryWalk::Enter(int parentFd, const char* name, bool isRoot, dev_t parentDevice,
                          size_t pathLength, Frame& frame) {
  FolderIdentity id;
  if (!EnterFolder(parentFd, name, isRoot, parentDevice, volume_,
                   std::string_view(path_).substr(0, pathLength), frame.fd, id))
    return false;
  frame.device = id.device;
  frame.inode = id.inode;
  frame.pathLength = pathLength;
  if (ReadListing(frame)) return true;
  listings_.Truncate(frame.begin);
  return false;
}

void DirectoryWalk::LimitOpenDirectories() {
  // Open: frame 0 and frames [closedBelow_, size).
  while (stack_.size() - closedBelow_ + 1 > kMaxOpenDirectories && closedBelow_ + 1 < stack_.size())
    stack_[closedBelow_++].fd.Reset();
}

bool DirectoryWalk::ReopenParentOfTop() {
  const size_t child = stack_.size() - 1;
  Frame& parent = stack_[child - 1];
  if (stack_[child].fd.Valid()) {
    UniqueFd up(::openat(stack_[child].fd.Get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    if (up.Valid() && ::fstat(up.Get(), &st) == 0 && st.st_dev == parent.device &&
        st.st_ino == parent.inode) {
      parent.fd = std::move(up);
      closedBelow_ = child - 1;
      return true;
    }
  }
  // The directory was moved meanwhile: what is left of the closed ancestors is not walked.
  for (size_t i = 1; i < closedBelow_ && i < stack_.size(); ++i) stack_[i].next = stack_[i].end;
  return false;
}

void DirectoryWalk::Announce(const Frame& frame, Visitor& visitor) {
  visitor.Listed(frame.fd.Get(), Listing(listings_.At(frame.begin), listings_.At(frame.end)));
}

bool DirectoryWalk::Walk(const WalkVolume& volume, int parentFd, const char* name, std::string path,
                         bool startIsRoot, Visitor& visitor) {
  volume_ = volume;
  stack_.clear();
  listings_.Truncate(0);
  closedBelow_ = 1;
  path_ = std::move(path);
  if (!visitor.BeforeDirectory()) return true;
  {
    // A walk that starts below a drive (a temporary directory) stays on the volume it starts in.
    struct stat parent {};
    if (!startIsRoot && ::fstat(parentFd, &parent) != 0) return true;
    Frame start;
    if (!Enter(parentFd, name, startIsRoot, parent.st_dev, path_.size(), start)) return true;
    stack_.push_back(std::move(start));
  }
  visitor.DirectoryOpened(path_);
  Announce(stack_.back(), visitor);

  int sinceHeartbeat = 0;
  while (!stack_.empty()) {
    Frame& top = stack_.back();
    if (top.next >= top.end) {
      const size_t depth = stack_.size() - 1;
      if (depth >= 1 && !stack_[depth - 1].fd.Valid()) ReopenParentOfTop();
      listings_.Truncate(stack_.back().begin);
      stack_.pop_back();
      if (closedBelow_ > stack_.size()) closedBelow_ = stack_.empty() ? 1 : stack_.size();
      if (!stack_.empty()) path_.resize(stack_.back().pathLength);
      continue;
    }
    const auto* entry = reinterpret_cast<const struct dirent64*>(listings_.At(top.next));
    top.next += entry->d_reclen;
    const char* entryName = entry->d_name;
    if (IsDotOrDotDot(entryName)) continue;
    const int dirFd = top.fd.Get();
    const unsigned char type = entry->d_type;

    if (++sinceHeartbeat == kHeartbeatEntries) {
      sinceHeartbeat = 0;
      visitor.Heartbeat();
    }

    const std::string_view nameView(entryName, std::strlen(entryName));
    if (type == DT_DIR) {
      const dev_t parentDevice = top.device;
      if (!visitor.Subdirectory(dirFd, nameView, path_)) continue;
      if (!visitor.BeforeDirectory()) continue;
      const size_t parentLength = path_.size();
      path_.append(nameView).push_back('/');
      Frame child;
      if (!Enter(dirFd, entryName, false, parentDevice, path_.size(), child)) {
        path_.resize(parentLength);
        visitor.NotEntered(dirFd, nameView);
        continue;
      }
      // Entering may have moved the listings: nothing below looks at entryName again.
      stack_.push_back(std::move(child));
      LimitOpenDirectories();
      visitor.DirectoryOpened(path_);
      Announce(stack_.back(), visitor);
    } else if (type == DT_REG || type == DT_LNK) {
      if (!visitor.File(dirFd, nameView, path_)) {
        stack_.clear();
        return false;
      }
    }
  }
  return true;
}
