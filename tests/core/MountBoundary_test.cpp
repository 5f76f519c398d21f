// A walk never enters another volume: not a directory of another device, not a mount point of
// the mount table (a bind mount shares its device).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include "BtrfsImage.h"
#include "ChildProcess.h"
#include "ScanTestSupport.h"
#include "TestEnv.h"
#include "helper/FolderEntry.h"
#include "i18n/LanguageFile.h"
#include "scan/Deletion.h"
#include "scan/Scanner.h"
#include "settings/ListFile.h"

namespace {

// Lists the drive's files that fit *.tmp as a check does (and, when asked, everything below its
// temporary folders).
void ScanTmpFiles(TResultList& list, const std::string& drive, bool temporary = false) {
  RecordingView view;
  TLanguageFile language;
  TExceptionsFile exceptions;
  exceptions.Load();
  TScanner scanner(list, view, language, exceptions, {QStringLiteral("*.tmp")});
  scanner.ScanDrive(drive);
  if (temporary) scanner.ScanTempDirectories(drive);
}

TEST(MountBoundaryTest, MountPointOfTheTableIsNotEntered) {
  TestEnv env;
  const std::string drive = Bytes(env.Root()) + "/drive";
  MakeDir(drive);
  MakeDir(drive + "/bound");
  MakeDir(drive + "/free");
  struct stat st {};
  ASSERT_EQ(::stat(drive.c_str(), &st), 0);
  const std::unordered_set<std::string> mounts{drive + "/bound"};
  const WalkVolume volume{st.st_dev, &mounts};
  UniqueFd root(::open(drive.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  UniqueFd fd;
  FolderIdentity id;
  EXPECT_FALSE(
      EnterFolder(root.Get(), "bound", false, st.st_dev, volume, drive + "/bound/", fd, id));
  EXPECT_TRUE(EnterFolder(root.Get(), "free", false, st.st_dev, volume, drive + "/free/", fd, id));
}

// Mounts a file system below the drive in a private mount namespace of a child process (root
// only) and checks there that the scan leaves it alone.
TEST(MountBoundaryTest, OtherFileSystemBelowTheDriveIsNotEntered) {
  TestEnv env;
  env.WriteFile(QStringLiteral("exceptions.ini"), QByteArray());
  const std::string drive = Bytes(env.Root()) + "/drive";
  MakeDir(drive);
  MakeDir(drive + "/mnt");
  MakeDir(drive + "/plain");
  MakeFile(drive + "/a.tmp");

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", (drive + "/mnt").c_str(), "tmpfs", 0, "size=1m") != 0)
      ::_exit(77);
    MakeFile(drive + "/mnt/inside.tmp");
    // Refused by the kernel itself, without the mount table (a volume mounted after it was read).
    struct stat st {};
    const UniqueFd parent(::open(drive.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    UniqueFd fd;
    FolderIdentity id;
    if (::stat(drive.c_str(), &st) != 0 ||
        EnterFolder(parent.Get(), "mnt", false, st.st_dev, WalkVolume{st.st_dev, nullptr},
                    drive + "/mnt/", fd, id))
      ::_exit(2);
    const auto onlyOutside = [&] {
      TResultList list;
      ScanTmpFiles(list, drive);
      return Texts(list) == QStringList({QString::fromStdString(drive + "/a.tmp")});
    };
    if (!onlyOutside()) ::_exit(1);
    // A kernel that takes no openat2 from here on (an old one, a filter): folders are then told
    // by their devices, a parent opened before by its descriptor.
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat2, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
      ::_exit(77);
    if (EnterFolder(parent.Get(), "mnt", false, std::nullopt, WalkVolume{st.st_dev, nullptr},
                    drive + "/mnt/", fd, id) ||
        !EnterFolder(parent.Get(), "plain", false, std::nullopt, WalkVolume{st.st_dev, nullptr},
                     drive + "/plain/", fd, id))
      ::_exit(3);
    const bool fellBack = onlyOutside();
    ::umount((drive + "/mnt").c_str());
    ::_exit(fellBack ? 0 : 4);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no private mount namespace here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// btrfs gives each subvolume a device number of its own. One that is not mounted is a folder of
// its drive and is walked (nested ones too, the temporary folder search included, and its files
// are deleted like any other); one mounted inside the drive is another drive. On a loop-mounted
// btrfs image made here, in a private mount namespace.
TEST(MountBoundaryTest, UnmountedBtrfsSubvolumeIsPartOfItsDrive) {
  TestEnv env;
  env.WriteFile(QStringLiteral("exceptions.ini"), QByteArray());
  const std::string root = Bytes(env.Root());
  const std::string image = root + "/btrfs.img";
  const std::string drive = root + "/drive";
  MakeDir(drive);
  if (const std::string why = MakeBtrfsImage(image); !why.empty()) GTEST_SKIP() << why;

  const ChildResult child = RunInChild(
      [&] {
        if (std::string skip = MountBtrfsImage(image, drive); !skip.empty()) return skip;
        bool made = MakeSubvolume(drive + "/sub") && MakeSubvolume(drive + "/sub/nested") &&
                    MakeSubvolume(drive + "/other");
        MakeDir(drive + "/sub/deeper");
        MakeDir(drive + "/sub/temp");
        MakeDir(drive + "/mp");
        for (const char* file : {"/a.tmp", "/sub/b.tmp", "/sub/deeper/c.tmp", "/sub/nested/d.tmp",
                                 "/sub/temp/e.txt", "/other/f.tmp"})
          MakeFile(drive + file, "data");
        // The subvolume "other" mounted inside the drive too: there it is a drive of its own.
        made = made && MountSubvolume(drive, "other", drive + "/mp");
        std::string report = made ? "" : "setup failed; ";
        TResultList list;
        ScanTmpFiles(list, drive, true);
        QStringList found = Texts(list);
        found.replaceInStrings(QString::fromStdString(drive), QString());
        found.sort();
        report += found.join(u'|').toStdString();
        list.SetAllChecked(true);
        QuietDeletionView deletion;
        const TLanguageFile language;
        const DeletionResult deleted = DeleteTickedEntries(list, deletion, language, {});
        report += "; deleted " + std::to_string(deleted.deleted) + " b.tmp " +
                  std::to_string(Exists(drive + "/sub/b.tmp"));
        ::umount((drive + "/mp").c_str());
        ::umount(drive.c_str());
        return report;
      },
      std::chrono::seconds(120));
  if (child.report.starts_with("skip:")) GTEST_SKIP() << child.report;
  EXPECT_EQ(child.report,
            "/a.tmp|/other/f.tmp|/sub/b.tmp|/sub/deeper/c.tmp|/sub/nested/d.tmp|/sub/temp/e.txt; "
            "deleted 6 b.tmp 0");
}

}  // namespace
