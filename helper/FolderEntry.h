#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "platform/UniqueFd.h"

// How the tree's reader enters folders: never through a link, never onto another volume.

// The volume a walk stays on: a directory on another device than its parent, the root of a
// mount (a bind mount shares its device), or one whose path is a mount point of the mount table,
// is never entered. A btrfs subvolume that is not mounted (its own device number, but no mount)
// is part of the volume and is walked; where the kernel keeps opens within the mount, so is any
// other file system's subvolume (bcachefs).
struct WalkVolume {
  dev_t device = 0;
  const std::unordered_set<std::string>* mountPoints = nullptr;  // paths without trailing "/"
};

// What the kernel tells of an open directory.
struct FolderIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool mountRoot = false;  // the root of a mount, as far as the kernel tells (Linux 5.8 on)
  // False for a subfolder the kernel opened on the condition that it crossed no mount: nothing
  // more is asked of it, unless its descriptor is given up and it must be found again
  // (IdentifyFolder).
  bool known = true;
};

// Opens the directory name below parentFd as a walk enters it and tells whether it is on the
// walk's volume: the walk's root (which may be reached through a link and be a mount's root) on
// the volume's device; any other directory never through a link, on its parent's device or an
// unmounted btrfs subvolume of it, not a mount's root, not a mount point of the table. path: the
// directory's path with its trailing "/". Where the kernel can refuse a mount crossing while it
// opens (openat2, Linux 5.6 on), a subdirectory is opened that way and that is the whole test:
// within one mount the device number changes only at a subvolume (btrfs, bcachefs), which is part
// of the volume. parentDevice: none when the parent was opened that way (its device is then
// asked of parentFd, should the kernel stop taking such opens).
bool EnterFolder(int parentFd, const char* name, bool isRoot, std::optional<dev_t> parentDevice,
                 const WalkVolume& volume, std::string_view path, UniqueFd& fd, FolderIdentity& id);

// The device and inode of an open directory; false when the kernel tells neither.
bool IdentifyFolder(int fd, FolderIdentity& id);

// The kind of an entry whose d_type the file system left unknown (DT_DIR, DT_REG, DT_LNK, or
// DT_UNKNOWN for anything else or a name gone).
unsigned char TypeByStat(int dirFd, const char* name);

// Whether the file system of the open directory fd ends a listing read short only at the
// directory's end (ext2/3/4, btrfs, XFS, tmpfs fill the caller's buffer while entries remain):
// a read that leaves room for one more record of the longest name then was the last, and the
// read that would return nothing is spared. Any other (FUSE, NFS, overlays) is read to the empty
// read.
bool ReadsFillToTheEnd(int fd);

// Mount points of the process's mount table, read now, that lie strictly below root (no
// trailing "/"), named as below root as given even when root is reached through a link.
std::unordered_set<std::string> MountPointsBelow(const std::string& root);
