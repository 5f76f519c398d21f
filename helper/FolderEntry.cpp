#include "helper/FolderEntry.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QFile>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "platform/DriveMap.h"

namespace {

constexpr int kSubdirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr int kRootFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;  // a drive may be a link

}  // namespace

unsigned char TypeByStat(int dirFd, const char* name) {
  struct stat st {};
  if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return DT_UNKNOWN;
  if (S_ISDIR(st.st_mode)) return DT_DIR;
  if (S_ISREG(st.st_mode)) return DT_REG;
  if (S_ISLNK(st.st_mode)) return DT_LNK;
  return DT_UNKNOWN;
}

bool ReadsFillToTheEnd(int fd) {
  struct statfs sf {};
  if (::fstatfs(fd, &sf) != 0) return false;
  switch (static_cast<unsigned long>(sf.f_type)) {
    case EXT4_SUPER_MAGIC:  // ext2 and ext3 as well
    case BTRFS_SUPER_MAGIC:
    case XFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
      return true;
    default:
      return false;
  }
}

namespace {

// Whether the kernel takes no path at all with AT_EMPTY_PATH (Linux 6.11 on), which spares it
// copying an empty one in.
std::atomic<bool> g_nullPathStatx{true};

// Device and inode need no word with a network or FUSE server (the pool may ask them while it
// holds its lock): the kernel's own copy is enough.
constexpr int kStatxFlags = AT_EMPTY_PATH | AT_STATX_DONT_SYNC;

int StatxOfFolder(int fd, struct statx& sx) {
  if (g_nullPathStatx.load(std::memory_order_relaxed)) {
    const long done = ::syscall(SYS_statx, fd, nullptr, kStatxFlags, STATX_INO, &sx);
    if (done == 0 || errno != EFAULT) return static_cast<int>(done);
    g_nullPathStatx.store(false, std::memory_order_relaxed);
  }
  return ::statx(fd, "", kStatxFlags, STATX_INO, &sx);
}

bool Identify(int fd, FolderIdentity& id) {
  struct statx sx {};
  if (StatxOfFolder(fd, sx) == 0) {
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

// Whether openat2 may be asked to stay on the mount (Linux 5.6 on, and not filtered out).
std::atomic<bool> g_openWithinMount{true};

enum class Opened { Yes, No, Unasked };

// Opens the subfolder name on the condition that the kernel crosses no mount to reach it (a bind
// mount, an automount trigger, any other volume mounted there, also after the mount table was
// read).
Opened OpenWithinMount(int parentFd, const char* name, UniqueFd& fd) {
  if (!g_openWithinMount.load(std::memory_order_relaxed)) return Opened::Unasked;
  open_how how{};
  how.flags = static_cast<std::uint64_t>(kSubdirectoryFlags);
  how.resolve = RESOLVE_NO_XDEV;
  fd.Reset(static_cast<int>(::syscall(SYS_openat2, parentFd, name, &how, sizeof how)));
  if (fd.Valid()) return Opened::Yes;
  if (errno != ENOSYS && errno != EPERM && errno != EINVAL && errno != E2BIG) return Opened::No;
  g_openWithinMount.store(false, std::memory_order_relaxed);
  return Opened::Unasked;
}

bool OnParentsVolume(int fd, dev_t parentDevice, const FolderIdentity& id) {
  // The root of any mount (a bind mount shares the device) is another volume. The kernel tells
  // it of the open directory itself, so a volume mounted after the mount table was read is
  // caught too.
  return (id.device == parentDevice || IsUnmountedSubvolume(fd, id)) && !id.mountRoot;
}

}  // namespace

bool IdentifyFolder(int fd, FolderIdentity& id) {
  if (!Identify(fd, id)) return false;
  id.known = true;
  return true;
}

bool EnterFolder(int parentFd, const char* name, bool isRoot, std::optional<dev_t> parentDevice,
                 const WalkVolume& volume, std::string_view path, UniqueFd& fd,
                 FolderIdentity& id) {
  const Opened opened = isRoot ? Opened::Unasked : OpenWithinMount(parentFd, name, fd);
  if (opened == Opened::No) return false;
  if (opened == Opened::Yes) {
    id = FolderIdentity{};
    id.known = false;
  } else {
    if (!isRoot && !parentDevice) {
      FolderIdentity parent;
      if (!Identify(parentFd, parent)) return false;
      parentDevice = parent.device;
    }
    fd.Reset(::openat(parentFd, name, isRoot ? kRootFlags : kSubdirectoryFlags));
    if (!fd.Valid() || !IdentifyFolder(fd.Get(), id)) return false;
    if (isRoot ? id.device != volume.device : !OnParentsVolume(fd.Get(), *parentDevice, id))
      return false;
  }
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
