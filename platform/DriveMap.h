#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The original's drive kinds, numbered as GetDriveType numbers them.
enum DriveType : int {
  DRIVE_UNKNOWN = 0,
  DRIVE_NO_ROOT_DIR = 1,
  DRIVE_REMOVABLE = 2,
  DRIVE_FIXED = 3,
  DRIVE_REMOTE = 4,
  DRIVE_CDROM = 5,
  DRIVE_RAMDISK = 6,
};

// One line of /proc/self/mountinfo, escapes such as \040 undone.
struct MountEntry {
  unsigned major = 0;
  unsigned minor = 0;
  std::string root;          // root of the mount within its file system ("/" unless a bind mount)
  std::string mountPoint;    // absolute path
  std::string fsType;        // e.g. ext4, tmpfs, nfs4, fuse.sshfs
  std::string source;        // e.g. /dev/sda1, server:/export
  std::string superOptions;  // e.g. rw,subvolid=256,subvol=/@home
};

// Parses mountinfo text; malformed lines are skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// This process's mount table as it is now, read afresh at every call (empty when unreadable).
std::vector<MountEntry> CurrentMountTable();

struct Drive {
  char letter = 0;  // 'A'..'Z'
  int type = DRIVE_UNKNOWN;
  std::string root;  // the mapped directory, absolute, without trailing slash except "/"
};

// Letter -> kind and directory. Built from the mount table (a pure function of its text plus a
// removable-device lookup) or from VANTREL_DRIVES.
class DriveMap {
 public:
  DriveMap() = default;
  explicit DriveMap(std::vector<Drive> drives);

  // GetDriveType of the root of drive letter (either case): DRIVE_NO_ROOT_DIR when unmapped.
  int GetDriveType(char letter) const;
  // The mapped directory of the letter, or empty when unmapped.
  std::string RootOf(char letter) const;
  const std::vector<Drive>& Drives() const { return drives_; }

  // The map of this process: VANTREL_DRIVES when set, otherwise /proc/self/mountinfo read and
  // parsed once. Never stats a volume.
  static const DriveMap& Current();

 private:
  std::vector<Drive> drives_;
};

// Kind and letter assignment from a parsed mount table. Left out: duplicates and bind mounts
// (same device as an earlier entry, or a root other than "/"; for btrfs the device and the
// subvolume, and the root taken within the mounted subvolume, so that a system on btrfs
// subvolumes keeps its drives), mounts hidden by a later mount on the same directory, pseudo and
// system mounts (proc, sysfs, devtmpfs, devpts, cgroup, securityfs, debugfs, tracefs, mqueue,
// hugetlbfs, pstore, bpf, configfs, fusectl, binfmt_misc, autofs, squashfs, overlay, nsfs...), and
// mounts under /proc, /sys, /dev, /run (except /run/media), /snap, /boot/efi. Kinds: tmpfs, ramfs
// -> RAM; nfs, nfs4, cifs, smb3, smbfs, fuse.sshfs, 9p, ceph, glusterfs, afs, davfs... -> remote;
// isRemovable(source) true or mounted under /media or /run/media -> removable; iso9660, udf ->
// CD-ROM; every other -> fixed. Letters from C in this order: the root file system first, then
// fixed, RAM, remote, removable, CD-ROM, each group by mount path; past Z nothing is listed.
DriveMap ClassifyMounts(const std::vector<MountEntry>& mounts,
                        const std::function<bool(const std::string& source)>& isRemovable);

// VANTREL_DRIVES, e.g. "C=fixed:/srv/data;E=removable:/media/stick" (kinds fixed, removable,
// remote, ram, cdrom; letters either case). nullopt when the text is malformed.
std::optional<DriveMap> ParseDrivesOverride(std::string_view text);

// The map for a VANTREL_DRIVES value (nullptr when unset) and a mount table text. A malformed
// override gives an empty map rather than the whole mount table: a mistyped restriction must not
// widen an unattended run to every volume.
DriveMap BuildDriveMap(const char* drivesOverride, std::string_view mountInfo,
                       const std::function<bool(const std::string& source)>& isRemovable);

// Whether VANTREL_DRIVES is set (now) to a value that cannot be parsed.
bool DrivesOverrideMalformed();

// Whether the block device a mount source names (/dev/sdb1, /dev/disk/by-uuid/...) sits on a
// disk that the kernel marks removable; a partition (sdb1, nvme0n1p2, mmcblk0p1) counts as its
// disk. False for every source that is not a block device.
bool IsRemovableSource(const std::string& source);

// Every mount point of this process's mount table (the walkers never enter one below a drive
// root), sorted, without duplicates. Read once.
const std::vector<std::string>& CurrentMountPoints();
