#include "platform/DriveMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

// A laptop as it boots: system mounts, a separate /home, the EFI partition, tmpfs on /tmp and
// /run/user, a snap, a container overlay, an NFS share, an sshfs mount, a bind mount, a USB
// stick with a blank in its label, a second disk with a blank in its mount point, a DVD.
constexpr std::string_view kLaptop =
    "22 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw,errors=remount-ro\n"
    "23 22 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "24 22 0:22 / /sys rw,nosuid,nodev,noexec,relatime shared:2 - sysfs sysfs rw\n"
    "25 22 0:5 / /dev rw,nosuid,relatime shared:8 - devtmpfs udev rw,size=8000000k,mode=755\n"
    "26 25 0:23 / /dev/pts rw,nosuid,noexec,relatime shared:9 - devpts devpts rw,gid=5\n"
    "27 22 0:24 / /run rw,nosuid,nodev,noexec,relatime shared:10 - tmpfs tmpfs rw,mode=755\n"
    "28 24 0:25 / /sys/fs/cgroup rw,nosuid,nodev,noexec,relatime shared:4 - cgroup2 cgroup2 rw\n"
    "29 22 259:3 / /home rw,relatime shared:30 - ext4 /dev/nvme0n1p3 rw\n"
    "30 22 259:1 / /boot/efi rw,relatime shared:31 - vfat /dev/nvme0n1p1 rw,fmask=0077\n"
    "31 22 0:30 / /tmp rw,nosuid,nodev shared:32 - tmpfs tmpfs rw,size=8000000k\n"
    "32 27 0:31 / /run/user/1000 rw,nosuid,nodev,relatime shared:40 - tmpfs tmpfs rw,mode=700\n"
    "33 22 7:0 / /snap/core22/1033 ro,nodev,relatime shared:33 - squashfs /dev/loop0 ro\n"
    "34 22 0:40 / /var/lib/docker/overlay2/abc/merged rw,relatime - overlay overlay "
    "rw,lowerdir=/l,upperdir=/u,workdir=/w\n"
    "35 22 0:41 / /mnt/nas rw,relatime shared:51 - nfs4 nas.local:/export rw,vers=4.2\n"
    "36 29 0:42 / /home/user/remote rw,nosuid,nodev,relatime shared:52 - fuse.sshfs "
    "user@host:/srv rw,user_id=1000\n"
    "37 22 259:3 /user/projects /srv/projects rw,relatime shared:30 - ext4 /dev/nvme0n1p3 rw\n"
    "38 27 8:17 / /run/media/user/USB\\040STICK rw,nosuid,nodev,relatime shared:60 - vfat "
    "/dev/sdb1 rw,uid=1000\n"
    "39 22 259:4 / /data\\040disk rw,relatime shared:61 - ext4 /dev/nvme0n1p4 rw\n"
    "40 22 11:0 / /mnt/cdrom ro,relatime shared:62 - iso9660 /dev/sr0 ro\n"
    "41 22 259:2 / /mnt/rootagain rw,relatime - ext4 /dev/nvme0n1p2 rw\n"
    "42 22 8:33 / /mnt/backup rw,relatime - ext4 /dev/sdc1 rw\n"
    "43 27 0:50 / /run/user/1000/gvfs rw,nosuid,nodev,relatime - fuse.gvfsd-fuse gvfsd-fuse rw\n";

bool OnlySdc1Removable(const std::string& source) {
  return source == "/dev/sdc1";
}

struct Expected {
  char letter;
  int type;
  std::string root;
};

void ExpectDrives(const DriveMap& map, const std::vector<Expected>& expected) {
  ASSERT_EQ(map.Drives().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(map.Drives()[i].letter, expected[i].letter) << i;
    EXPECT_EQ(map.Drives()[i].type, expected[i].type) << i;
    EXPECT_EQ(map.Drives()[i].root, expected[i].root) << i;
  }
}

TEST(ParseMountInfo, FieldsAndEscapes) {
  const std::vector<MountEntry> entries = ParseMountInfo(
      "36 35 98:0 /mnt1 /mnt\\0402\\011tab\\012nl\\134bs rw,noatime master:1 shared:7 - ext3 "
      "/dev/root rw,errors=continue\n"
      "37 35 8:1 / /plain rw - ext4 /dev/sda1 rw");  // no optional field, no final newline
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].major, 98u);
  EXPECT_EQ(entries[0].minor, 0u);
  EXPECT_EQ(entries[0].root, "/mnt1");
  EXPECT_EQ(entries[0].mountPoint, "/mnt 2\ttab\nnl\\bs");
  EXPECT_EQ(entries[0].fsType, "ext3");
  EXPECT_EQ(entries[0].source, "/dev/root");
  EXPECT_EQ(entries[0].superOptions, "rw,errors=continue");
  EXPECT_EQ(entries[1].mountPoint, "/plain");
  EXPECT_EQ(entries[1].source, "/dev/sda1");
}

TEST(ParseMountInfo, MalformedLinesAreSkipped) {
  const std::vector<MountEntry> entries = ParseMountInfo(
      "\n"
      "garbage\n"
      "1 2 8:1 / /no-dash rw ext4 /dev/sda1 rw\n"
      "1 2 8x1 / /bad-device rw - ext4 /dev/sda1 rw\n"
      "1 2 8: / /bad-minor rw - ext4 /dev/sda1 rw\n"
      "1 2 8:1 / relative rw - ext4 /dev/sda1 rw\n"
      "1 2 8:1 / /short rw - ext4\n"
      "1 2 8:1 / /ok rw - ext4 /dev/sda1 rw\n"
      "1 2 8:1 /\n");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].mountPoint, "/ok");
}

TEST(ClassifyMounts, LaptopLettersAndKinds) {
  ExpectDrives(ClassifyMounts(ParseMountInfo(kLaptop), OnlySdc1Removable),
               {
                   {'C', DRIVE_FIXED, "/"},
                   {'D', DRIVE_FIXED, "/data disk"},
                   {'E', DRIVE_FIXED, "/home"},
                   {'F', DRIVE_RAMDISK, "/tmp"},
                   {'G', DRIVE_REMOTE, "/home/user/remote"},
                   {'H', DRIVE_REMOTE, "/mnt/nas"},
                   {'I', DRIVE_REMOVABLE, "/mnt/backup"},
                   {'J', DRIVE_REMOVABLE, "/run/media/user/USB STICK"},
                   {'K', DRIVE_CDROM, "/mnt/cdrom"},
               });
}

TEST(ClassifyMounts, RemovableLookupGetsTheSource) {
  std::set<std::string> asked;
  ClassifyMounts(ParseMountInfo(kLaptop), [&](const std::string& source) {
    asked.insert(source);
    return false;
  });
  EXPECT_TRUE(asked.count("/dev/sdc1"));
  EXPECT_TRUE(asked.count("/dev/nvme0n1p3"));
  EXPECT_FALSE(asked.count("/dev/loop0"));  // left out before its kind matters
}

TEST(ClassifyMounts, MediaMountIsRemovableWithoutLookup) {
  const DriveMap map =
      ClassifyMounts(ParseMountInfo("1 0 8:2 / / rw - xfs /dev/sda2 rw\n"
                                    "2 1 8:17 / /media/cam rw - exfat /dev/sdb1 rw\n"
                                    "3 1 8:33 / /mediathek rw - ext4 /dev/sdc1 rw\n"),
                     nullptr);
  ExpectDrives(map, {{'C', DRIVE_FIXED, "/"},
                     {'D', DRIVE_FIXED, "/mediathek"},
                     {'E', DRIVE_REMOVABLE, "/media/cam"}});
}

// On btrfs every subvolume of one file system shows the same device; the system's own
// subvolumes are drives, bind mounts of directories inside them are not.
TEST(ClassifyMounts, BtrfsSubvolumes) {
  const DriveMap map = ClassifyMounts(
      ParseMountInfo("60 1 0:33 /root / rw,relatime shared:1 - btrfs /dev/nvme0n1p3 "
                     "rw,ssd,space_cache=v2,subvolid=257,subvol=/root\n"
                     "61 60 0:33 /home /home rw,relatime shared:2 - btrfs /dev/nvme0n1p3 "
                     "rw,ssd,subvolid=256,subvol=/home\n"
                     "62 60 0:33 /home/user/dir /srv/dir rw - btrfs /dev/nvme0n1p3 rw,subvolid=256,"
                     "subvol=/home\n"
                     "63 60 0:33 /home /mnt/home-again rw - btrfs /dev/nvme0n1p3 rw,subvolid=256,"
                     "subvol=/home\n"
                     "64 60 0:40 / /mnt/pool rw - btrfs /dev/sdb1 rw,subvolid=5,subvol=/\n"),
      nullptr);
  ExpectDrives(
      map, {{'C', DRIVE_FIXED, "/"}, {'D', DRIVE_FIXED, "/home"}, {'E', DRIVE_FIXED, "/mnt/pool"}});
}

TEST(ClassifyMounts, MountHiddenByALaterOneOnTheSameDirectory) {
  const DriveMap map = ClassifyMounts(ParseMountInfo("1 0 8:2 / / rw - ext4 /dev/sda2 rw\n"
                                                     "2 1 8:3 / /tmp rw - ext4 /dev/sda3 rw\n"
                                                     "3 1 0:40 / /tmp rw - tmpfs tmpfs rw\n"),
                                      nullptr);
  ExpectDrives(map, {{'C', DRIVE_FIXED, "/"}, {'D', DRIVE_RAMDISK, "/tmp"}});
}

TEST(ClassifyMounts, BindMountSeenBeforeItsFileSystemDoesNotHideIt) {
  const DriveMap map = ClassifyMounts(ParseMountInfo("1 0 8:2 / / rw - ext4 /dev/sda2 rw\n"
                                                     "2 1 8:3 /sub /aaa rw - ext4 /dev/sda3 rw\n"
                                                     "3 1 8:3 / /data rw - ext4 /dev/sda3 rw\n"),
                                      nullptr);
  ExpectDrives(map, {{'C', DRIVE_FIXED, "/"}, {'D', DRIVE_FIXED, "/data"}});
}

TEST(ClassifyMounts, NoLetterPastZ) {
  std::string table = "1 0 8:0 / / rw - ext4 /dev/sda rw\n";
  for (int i = 0; i < 30; ++i) {
    char line[128];
    std::snprintf(line, sizeof line, "%d 1 9:%d / /vol%02d rw - ext4 /dev/md%d rw\n", i + 2, i, i,
                  i);
    table += line;
  }
  const DriveMap map = ClassifyMounts(ParseMountInfo(table), nullptr);
  ASSERT_EQ(map.Drives().size(), 24u);
  EXPECT_EQ(map.Drives().front().root, "/");
  EXPECT_EQ(map.Drives().back().letter, 'Z');
  EXPECT_EQ(map.Drives().back().root, "/vol22");
}

TEST(ClassifyMounts, RootFileSystemComesFirstWhateverItsKind) {
  const DriveMap map = ClassifyMounts(ParseMountInfo("1 0 0:30 / / rw - tmpfs tmpfs rw\n"
                                                     "2 1 8:1 / /boot rw - ext4 /dev/sda1 rw\n"),
                                      nullptr);
  ExpectDrives(map, {{'C', DRIVE_RAMDISK, "/"}, {'D', DRIVE_FIXED, "/boot"}});
}

TEST(DriveMap, LookupByLetterInEitherCase) {
  const DriveMap map({{'E', DRIVE_REMOVABLE, "/media/stick"}, {'C', DRIVE_FIXED, "/"}});
  EXPECT_EQ(map.Drives().front().letter, 'C');  // kept in letter order
  EXPECT_EQ(map.GetDriveType('c'), DRIVE_FIXED);
  EXPECT_EQ(map.GetDriveType('E'), DRIVE_REMOVABLE);
  EXPECT_EQ(map.GetDriveType('d'), DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(map.RootOf('e'), "/media/stick");
  EXPECT_EQ(map.RootOf('Q'), "");
}

TEST(ParseDrivesOverride, Valid) {
  const std::optional<DriveMap> map = ParseDrivesOverride(
      "C=fixed:/srv/data;e=removable:/media/stick/;Z=remote:/mnt/nas;R=ram:/dev/shm;"
      "D=cdrom:/mnt/cd;A=Fixed:/no/such/dir;");
  ASSERT_TRUE(map.has_value());
  ExpectDrives(*map, {
                         {'A', DRIVE_FIXED, "/no/such/dir"},  // missing directory stays listed
                         {'C', DRIVE_FIXED, "/srv/data"},
                         {'D', DRIVE_CDROM, "/mnt/cd"},
                         {'E', DRIVE_REMOVABLE, "/media/stick"},
                         {'R', DRIVE_RAMDISK, "/dev/shm"},
                         {'Z', DRIVE_REMOTE, "/mnt/nas"},
                     });
  ASSERT_TRUE(ParseDrivesOverride("").has_value());
  EXPECT_TRUE(ParseDrivesOverride("")->Drives().empty());
  ExpectDrives(*ParseDrivesOverride("C=fixed:/"), {{'C', DRIVE_FIXED, "/"}});
  ExpectDrives(*ParseDrivesOverride("C=fixed:/a:b"), {{'C', DRIVE_FIXED, "/a:b"}});
}

TEST(ParseDrivesOverride, Malformed) {
  for (const char* text : {"C", "C=", "C=fixed", "C=fixed:", "C=fixed:relative", "C=floppy:/x",
                           "CD=fixed:/x", "1=fixed:/x", "=fixed:/x", "C:fixed:/x",
                           "C=fixed:/x;C=ram:/y", "C=fixed:/x;c=ram:/y", "C=fixed:/x;junk"})
    EXPECT_FALSE(ParseDrivesOverride(text).has_value()) << text;
}

TEST(BuildDriveMap, OverrideIsTheWholeMap) {
  ExpectDrives(BuildDriveMap("E=removable:/media/stick", kLaptop, nullptr),
               {{'E', DRIVE_REMOVABLE, "/media/stick"}});
  // A malformed override lists nothing rather than every volume of the machine.
  EXPECT_TRUE(BuildDriveMap("E=removable", kLaptop, nullptr).Drives().empty());
  EXPECT_EQ(BuildDriveMap(nullptr, kLaptop, nullptr).Drives().size(), 9u);
}

TEST(CurrentMountPoints, SortedAndHoldsTheRoot) {
  const std::vector<std::string>& points = CurrentMountPoints();
  EXPECT_TRUE(std::is_sorted(points.begin(), points.end()));
  EXPECT_TRUE(std::adjacent_find(points.begin(), points.end()) == points.end());
  EXPECT_TRUE(std::binary_search(points.begin(), points.end(), std::string("/")));
}

}  // namespace
