// Trees that try to lead the walk astray: directories swapped for links while the walk is on its
// way, mounts inside a drive, and files that are no files (FIFOs, sockets, device nodes).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>

#include <algorithm>
#include <memory>

#include "ChildProcess.h"
#include "ScanTestSupport.h"
#include "TestEnv.h"
#include "helper/FolderEntry.h"
#include "i18n/LanguageFile.h"
#include "scan/CacheFolder.h"
#include "scan/Deletion.h"
#include "scan/Scanner.h"
#include "scan/StatusTexts.h"
#include "settings/ListFile.h"
#include "settings/Registry.h"

namespace {

class HostileTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = Bytes(env.Root());
    drive = root + "/drive";
    MakeDir(drive);
    env.WriteFile(QStringLiteral("exceptions.ini"), QByteArray());
  }

  TScanner& Scanner(const QStringList& masks = {QStringLiteral("*.tmp")}) {
    exceptions.Load();
    scanner = std::make_unique<TScanner>(list, view, language, exceptions, masks,
                                         ScanSettings{false, std::chrono::nanoseconds(0)});
    return *scanner;
  }

  QStringList Found() const {
    QStringList found = Texts(list);
    found.sort();
    return found;
  }

  TestEnv env;
  std::string root;
  std::string drive;
  TResultList list;
  RecordingView view;
  TLanguageFile language;
  TExceptionsFile exceptions;
  std::unique_ptr<TScanner> scanner;
};

// Swaps the directory name below dirFd for a symbolic link to target (the directory itself is
// moved aside, out of the listing already read).
void SwapForLink(int dirFd, const std::string& name, const std::string& target) {
  if (::renameat(dirFd, name.c_str(), dirFd, (name + ".moved").c_str()) != 0) std::abort();
  if (::symlinkat(target.c_str(), dirFd, name.c_str()) != 0) std::abort();
}

// A directory swapped for a link (out of the drive, or back to an ancestor) after its parent
// was listed is not entered; its sibling still is.
TEST_F(HostileTreeTest, DirectorySwappedForALinkBeforeTheDescentIsSkipped) {
  const std::string outside = root + "/outside";
  MakeDir(outside);
  MakeFile(outside + "/far.tmp");
  for (const char* d : {"/d", "/d/sub", "/d/other"}) MakeDir(drive + d);
  for (const std::string& target : {outside, std::string("..")}) {
    SCOPED_TRACE(target);
    ::unlink((drive + "/d/sub").c_str());
    ::rename((drive + "/d/sub.moved").c_str(), (drive + "/d/sub").c_str());
    struct stat st {};
    ASSERT_EQ(::stat(drive.c_str(), &st), 0);
    const WalkVolume volume{st.st_dev, nullptr};
    UniqueFd d(::open((drive + "/d").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    SwapForLink(d.Get(), "sub", target);
    UniqueFd fd;
    FolderIdentity id;
    EXPECT_FALSE(EnterFolder(d.Get(), "sub", false, st.st_dev, volume, drive + "/d/sub/", fd, id));
    EXPECT_TRUE(
        EnterFolder(d.Get(), "other", false, st.st_dev, volume, drive + "/d/other/", fd, id));
  }
}

// The reader may have read sub before the swap (it reads ahead) or meet the link instead: either
// way nothing behind the link is listed, and deleting what was listed touches nothing behind it
// nor the folder moved away.
TEST_F(HostileTreeTest, MaskedScanNeverListsThroughADirectorySwappedForALink) {
  const std::string outside = root + "/outside";
  MakeDir(outside);
  MakeFile(outside + "/far.tmp");
  MakeDir(drive + "/sub");
  MakeFile(drive + "/sub/inner.tmp");
  MakeFile(drive + "/top.tmp");
  // The root's caption comes once its listing is read, before any entry is visited.
  const QString rootCaption =
      QStringLiteral(" Scanning: [") + QString::fromStdString(drive) + QStringLiteral("/]");
  view.onEvents = [&] {
    if (view.caption != rootCaption || Exists(drive + "/sub.moved")) return;
    const UniqueFd fd(::open(drive.c_str(), O_RDONLY | O_DIRECTORY));
    SwapForLink(fd.Get(), "sub", outside);
  };
  Scanner().ScanDrive(drive);
  const QStringList found = Found();
  EXPECT_TRUE(found == QStringList({QString::fromStdString(drive + "/top.tmp")}) ||
              found == QStringList({QString::fromStdString(drive + "/sub/inner.tmp"),
                                    QString::fromStdString(drive + "/top.tmp")}))
      << found.join(u'|').toStdString();
  list.SetAllChecked(true);
  QuietDeletionView quiet;
  DeleteTickedEntries(list, quiet, language);
  EXPECT_TRUE(Exists(outside + "/far.tmp"));
  EXPECT_TRUE(Exists(drive + "/sub.moved/inner.tmp"));
  EXPECT_FALSE(Exists(drive + "/top.tmp"));
}

// The cleaning removes names relative to the folder it has open: a folder swapped for a link
// once it is open cannot send the deletions elsewhere.
TEST_F(HostileTreeTest, CacheCleaningDeletesInTheFolderItListed) {
  const std::string cache = root + "/cache/browser";
  const std::string victim = root + "/victim";
  MakeDir(cache);
  MakeDir(cache + "/sub");
  MakeDir(victim);
  for (const char* f : {"/sub/a.bin", "/sub/b.bin"}) {
    MakeFile(cache + f, "cached");
    MakeFile(victim + std::string(f).substr(4), "precious");
  }
  const QString cleaning = QStringLiteral(" Cleaning: [Temporary Internet Files]");
  int captions = 0;
  view.onEvents = [&] {
    // The second folder caption is sub's: it is open and listed.
    if (view.caption == cleaning && ++captions == 2) {
      const UniqueFd fd(::open(cache.c_str(), O_RDONLY | O_DIRECTORY));
      SwapForLink(fd.Get(), "sub", victim);
    }
  };
  Scanner().CleanInternetCache(QString::fromStdString(cache));
  EXPECT_EQ(captions, 2);
  EXPECT_TRUE(Exists(victim + "/a.bin"));
  EXPECT_TRUE(Exists(victim + "/b.bin"));
  EXPECT_FALSE(Exists(cache + "/sub.moved/a.bin"));
  EXPECT_FALSE(Exists(cache + "/sub.moved/b.bin"));
}

// Emptying "/", the home folder or a folder that holds it would wipe the user's files: such a
// cache folder, however it is named, is refused with the missing folder's warning, both by the
// lookup and by the cleaning itself.
TEST_F(HostileTreeTest, CacheFolderThatIsRootOrHoldsHomeIsRefused) {
  const std::string home = root + "/home";
  MakeDir(home + "/sub");
  MakeFile(home + "/precious.txt");
  MakeFile(home + "/sub/keep.bin");
  MakeLink(home, root + "/home-link");
  MakeLink(home + "/sub", root + "/sub-link");
  const std::string refused[] = {
      "/", "/./", home, home + "/", home + "/sub/..", root + "/home-link", root, root + "/home/.."};
  exceptions.Load();
  for (const std::string& folder : refused) {
    SCOPED_TRACE(folder);
    RecordingView quiet;
    quiet.onEvents = [&quiet] { quiet.stop = true; };  // should it start, it ends at once
    TScanner dry(list, quiet, language, exceptions, {}, ScanSettings{true, {}});
    dry.CleanInternetCache(QString::fromStdString(folder));
    EXPECT_EQ(quiet.log, QStringList({QStringLiteral("warning Attention: No disk or disk error!"),
                                      QStringLiteral("size Total size: 0 bytes")}));
    env.WriteFile(env.RegistryFile(),
                  "{\"Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell "
                  "Folders\": {\"Cache\": \"" +
                      QByteArray::fromStdString(folder) + "\"}}");
    TRegistry registry;
    EXPECT_EQ(FindCacheFolder(registry), std::nullopt);
  }
  // A folder below the home folder is emptied, also when named through a link.
  Scanner().CleanInternetCache(QString::fromStdString(root + "/sub-link"));
  EXPECT_EQ(view.warnings, 0);
  EXPECT_FALSE(Exists(home + "/sub/keep.bin"));
  EXPECT_TRUE(Exists(home + "/precious.txt"));
}

// The home folder is known from the password database as well as from HOME: a cron job without
// HOME, or with a HOME that is not the user's, still cannot have the user's home emptied; and
// where no home folder can be told at all, nothing is emptied. Run as a user of a password
// database made for the test (bound over /etc/passwd in a private mount namespace).
TEST_F(HostileTreeTest, HomeFromThePasswordDatabaseIsRefusedWhateverHomeSays) {
  const std::string area = SharedArea(root);
  const std::string home = area + "/me";
  const std::string elsewhere = area + "/elsewhere";
  const std::string passwd = area + "/passwd";
  MakeFile(passwd, "root:x:0:0:root:/root:/bin/sh\nme:x:54321:54321::" + home + ":/bin/sh\n");
  const ChildResult child = RunInChild([&] {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount(passwd.c_str(), "/etc/passwd", nullptr, MS_BIND, nullptr) != 0)
      return std::string("skip: cannot bind a password database over /etc/passwd");
    const auto clean = [&](const std::string& folder) {
      view.warnings = 0;
      Scanner().CleanInternetCache(QString::fromStdString(folder));
      return std::to_string(view.warnings);
    };
    if (::setgid(54321) != 0 || ::setuid(54321) != 0) return std::string("skip: cannot setuid");
    for (const std::string& dir : {home, home + "/cache", elsewhere}) MakeDir(dir);
    MakeFile(home + "/precious.txt");
    MakeFile(home + "/cache/x.bin");
    std::string report;
    for (const char* state : {"unset", "empty", "elsewhere"}) {
      if (std::string(state) == "unset") ::unsetenv("HOME");
      if (std::string(state) == "empty") ::setenv("HOME", "", 1);
      if (std::string(state) == "elsewhere") ::setenv("HOME", elsewhere.c_str(), 1);
      // One step at a time: the order in which operands of + are evaluated is not fixed.
      report += std::string(state) + ": home " + clean(home);
      report += " parent " + clean(area);
      report += " precious " + std::to_string(Exists(home + "/precious.txt")) + "; ";
    }
    // Below the home folder a cache is emptied as ever.
    const std::string emptied = clean(home + "/cache");
    report += "cache " + emptied + " x.bin " + std::to_string(Exists(home + "/cache/x.bin"));
    return report;
  });
  if (child.report.starts_with("skip:")) GTEST_SKIP() << child.report;
  EXPECT_EQ(child.report,
            "unset: home 1 parent 1 precious 1; empty: home 1 parent 1 precious 1; elsewhere: home "
            "1 parent 1 precious 1; cache 0 x.bin 0");
}

// A user the password database does not know, without HOME: no folder is safe to empty.
TEST_F(HostileTreeTest, WithoutAnyHomeFolderEveryCacheFolderIsRefused) {
  const std::string cache = SharedArea(root) + "/cache";
  const ChildResult child = RunInChild([&] {
    if (::setgid(54329) != 0 || ::setuid(54329) != 0) return std::string("skip: cannot setuid");
    if (::getpwuid(54329) != nullptr) return std::string("skip: uid 54329 is a known user here");
    MakeDir(cache);
    MakeFile(cache + "/x.bin");
    ::unsetenv("HOME");
    TRegistry registry;
    const bool lookupRefuses = !UsableCacheFolder(QString::fromStdString(cache));
    Scanner().CleanInternetCache(QString::fromStdString(cache));
    const std::string without = "refused " + std::to_string(lookupRefuses) + " warnings " +
                                std::to_string(view.warnings) + " x.bin " +
                                std::to_string(Exists(cache + "/x.bin"));
    ::setenv("HOME", (root + "/shared").c_str(), 1);
    view.warnings = 0;
    Scanner().CleanInternetCache(QString::fromStdString(cache));
    return without + "; with HOME: warnings " + std::to_string(view.warnings) + " x.bin " +
           std::to_string(Exists(cache + "/x.bin"));
  });
  if (child.report.starts_with("skip:")) GTEST_SKIP() << child.report;
  // With HOME the shared area is the home folder: the cache below it is emptied.
  EXPECT_EQ(child.report, "refused 1 warnings 1 x.bin 1; with HOME: warnings 0 x.bin 0");
}

// The look up from the home folder passes folders that may be searched but not read.
TEST_F(HostileTreeTest, CacheBelowAHomeInAnUnreadableFolderIsEmptied) {
  const std::string users = SharedArea(root) + "/users";
  const ChildResult child = RunInChild([&] {
    if (!DropToNobody()) return std::string("skip: cannot become nobody");
    const std::string home = users + "/me";
    for (const std::string& dir : {users, home, home + "/cache"}) MakeDir(dir);
    MakeFile(home + "/cache/x.bin");
    ::chmod(users.c_str(), 0111);  // searched, never read, even by its owner
    ::setenv("HOME", home.c_str(), 1);
    Scanner().CleanInternetCache(QString::fromStdString(home + "/cache"));
    ::chmod(users.c_str(), 0755);
    return "warnings " + std::to_string(view.warnings) + " x.bin " +
           std::to_string(Exists(home + "/cache/x.bin"));
  });
  if (child.report.starts_with("skip:")) GTEST_SKIP() << child.report;
  EXPECT_EQ(child.report, "warnings 0 x.bin 0");
}

// Mounts inside a drive are other drives: neither a bind mount (of an ancestor, or of any other
// folder) nor another file system is entered, also when mounted after the program started, when
// mounted while the walk runs, or when the drive is reached through a link. Run in a private
// mount namespace, which needs the right to make one.
TEST_F(HostileTreeTest, MountsInsideTheDriveAreNotEntered) {
  const std::string outside = root + "/outside";
  const std::string cache = root + "/browser-cache";
  MakeDir(outside);
  MakeFile(outside + "/far.tmp");
  MakeFile(drive + "/a.tmp");
  for (const char* d : {"/ancestor", "/other", "/ram", "/late-ram", "/late-bind", "/temp", "/tmp"})
    MakeDir(drive + d);
  MakeDir(cache);
  MakeDir(cache + "/mounted");
  MakeFile(cache + "/x.bin");
  MakeLink(drive, root + "/drive-link");

  const ChildResult child = RunInChild([&] {
    if (::unshare(CLONE_NEWNS) != 0)
      return std::string("skip: no private mount namespace: ") + std::strerror(errno);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
      return std::string("skip: cannot make the mounts private");
    const auto bind = [](const std::string& from, const std::string& to) {
      return ::mount(from.c_str(), to.c_str(), nullptr, MS_BIND, nullptr) == 0;
    };
    const auto tmpfs = [](const std::string& at) {
      if (::mount("vantrel-test", at.c_str(), "tmpfs", 0, "size=1m") != 0) return false;
      MakeFile(at + "/ram.tmp");
      return true;
    };
    std::string report;
    const auto scan = [&](const std::string& driveRoot) {
      list.Clear();
      Scanner().ScanDrive(driveRoot);
      scanner->ScanTempDirectories(driveRoot);
      report += "\n" + Found().join(u'|').toStdString();
    };
    // A first check, before anything is mounted: mounts made later must still be seen.
    scan(drive);
    if (!bind(root, drive + "/ancestor") || !bind(outside, drive + "/other") ||
        !tmpfs(drive + "/ram") || !bind(outside, drive + "/tmp") || !tmpfs(drive + "/temp") ||
        !bind(outside, cache + "/mounted"))
      return std::string("skip: cannot mount here: ") + std::strerror(errno);
    scan(drive);
    scan(root + "/drive-link");
    // Mounted while the walk runs, once the root's listing is read. A bind mount is then told
    // only by the kernel (Linux 5.8 and later).
    struct statx sx {};
    const bool kernelTellsMountRoots = ::statx(AT_FDCWD, "/", 0, STATX_BASIC_STATS, &sx) == 0 &&
                                       (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0;
    view.onEvents = [&] {
      if (view.caption.endsWith(QStringLiteral("/drive/]")) &&
          !Exists(drive + "/late-ram/ram.tmp")) {
        tmpfs(drive + "/late-ram");
        if (kernelTellsMountRoots) bind(drive, drive + "/late-bind");
      }
    };
    scan(drive);
    view.onEvents = nullptr;
    Scanner().CleanInternetCache(QString::fromStdString(cache));
    report += "\nfar.tmp " + std::to_string(Exists(outside + "/far.tmp")) + " x.bin " +
              std::to_string(Exists(cache + "/x.bin"));
    return report;
  });
  if (child.report.starts_with("skip:")) GTEST_SKIP() << child.report;
  const std::string found = drive + "/a.tmp";
  EXPECT_EQ(child.report, "\n" + found + "\n" + found + "\n" + root + "/drive-link/a.tmp\n" +
                              found + "\nfar.tmp 1 x.bin 0");
}

// A FIFO, a socket and a device node: never listed, opened or deleted, whichever walk meets
// them; the regular file beside them is.
TEST_F(HostileTreeTest, SpecialFilesAreNeitherListedNorDeleted) {
  const std::string tmp = drive + "/tmp";
  const std::string cache = root + "/browser-cache";
  MakeDir(tmp);
  MakeDir(cache);
  std::vector<UniqueFd> sockets;
  bool device = true;
  for (const std::string& dir : {drive, tmp, cache}) {
    MakeFile(dir + "/plain.tmp");
    ASSERT_EQ(::mkfifo((dir + "/fifo.tmp").c_str(), 0666), 0);
    sockets.emplace_back(::socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, (dir + "/socket.tmp").c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(sockets.back().Get(), reinterpret_cast<sockaddr*>(&address), sizeof address),
              0);
    // The same device as /dev/null; making one needs root.
    device = device && ::mknod((dir + "/device.tmp").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
  }
  const ChildResult child = RunInChild(
      [&] {
        TScanner& s = Scanner({QStringLiteral("*")});
        s.ScanDrive(drive);
        s.ScanTempDirectories(drive);
        s.CleanInternetCache(QString::fromStdString(cache));
        std::string report = Found().join(u'|').toStdString();
        for (const char* name : {"/plain.tmp", "/fifo.tmp", "/socket.tmp", "/device.tmp"})
          report += std::string(" ") + name + "=" + std::to_string(Exists(cache + name));
        return report;
      },
      std::chrono::seconds(30));
  ASSERT_TRUE(child.finished) << "the walk blocked";
  EXPECT_EQ(child.report, drive + "/plain.tmp|" + tmp + "/plain.tmp /plain.tmp=0 /fifo.tmp=1 " +
                              "/socket.tmp=1 /device.tmp=" + (device ? "1" : "0"));
  if (!device) GTEST_SKIP() << "device nodes cannot be made here; the rest was checked";
}

// A listed file replaced by a FIFO of the same name: measuring the total and deleting must not
// open it (which would block until a writer comes), nor remove it.
TEST_F(HostileTreeTest, FifoPutInPlaceOfAFindingNeverBlocks) {
  MakeFile(drive + "/a.tmp", "12345");
  MakeFile(drive + "/b.tmp", "12");
  const ChildResult child = RunInChild(
      [&] {
        Scanner().ScanDrive(drive);
        ::unlink((drive + "/a.tmp").c_str());
        ::mkfifo((drive + "/a.tmp").c_str(), 0666);
        std::string report = "Total size: " + SizeText(MeasuredTotal(list)).toStdString();
        list.SetAllChecked(true);
        QuietDeletionView quiet;
        const DeletionResult result = DeleteTickedEntries(list, quiet, language);
        report += " | " + result.marked.join(u'|').toStdString();
        struct stat st {};
        report += ::lstat((drive + "/a.tmp").c_str(), &st) == 0 && S_ISFIFO(st.st_mode)
                      ? " | fifo left"
                      : " | fifo gone";
        return report;
      },
      std::chrono::seconds(30));
  ASSERT_TRUE(child.finished) << "blocked on the FIFO";
  EXPECT_EQ(child.report,
            "Total size: 2 bytes | " + drive + "/a.tmp (Cannot delete file) | fifo left");
}

}  // namespace
