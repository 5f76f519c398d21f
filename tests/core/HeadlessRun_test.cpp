// The real program, run unattended without a display over a drive mapped to a temporary tree.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include "BlockingVolume.h"
#include "ScanTestSupport.h"
#include "TestEnv.h"
#include "platform/UniqueFd.h"
#include "settings/ListFile.h"

namespace {

struct RunResult {
  int exitCode = -1;
  QString out;
  QString err;
};

class HeadlessRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!QFileInfo::exists(QStringLiteral(VANTREL_BINARY)))
      GTEST_SKIP() << "the program is not built yet: " << VANTREL_BINARY;
    root = Bytes(env.Root());
    MakeDir(root + "/c");
    MakeDir(root + "/e");
    MakeFile(root + "/c/a.tmp", "123");
    MakeFile(root + "/c/keep.tmp", "1");
    MakeFile(root + "/e/b\xff.bak", "4567");
    env.WriteFile(QStringLiteral("vantrel.ini"), FormatListText({"*.tmp", "*.bak"}));
    env.WriteFile(QStringLiteral("exceptions.ini"), FormatListText({"keep.*"}));
    Settings(", \"AutoCheckFF\": 1");
  }

  void Settings(const QByteArray& members) {
    env.WriteFile(env.RegistryFile(),
                  "{\"SOFTWARE\\\\Vantrel\\\\Options\": {\"AutoCheckHD\": 0" + members + "}}");
  }

  RunResult Vantrel(const QStringList& arguments, const QString& drives = QString()) {
    QProcess process;
    Start(process, arguments, drives);
    RunResult run;
    if (!process.waitForFinished(60000)) return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
  }

  void Start(QProcess& process, const QStringList& arguments, const QString& drives = QString()) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.insert(QStringLiteral("VANTREL_DRIVES"),
                       !drives.isEmpty() ? drives
                                         : QString::fromStdString("C=fixed:" + root +
                                                                  "/c;E=fixed:" + root + "/e"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(env.Work());
    process.start(QStringLiteral(VANTREL_BINARY), arguments);
  }

  QString At(const std::string& path) const { return QString::fromStdString(root + path); }

  // "/dc" on the volume at drive, ended by SIGTERM once one of its calls blocks, with status 1:
  // what it printed.
  QString PrintedUntilSignal(const std::string& drive, const BlockingVolume& volume) {
    QProcess process;
    Start(process, {QStringLiteral("/dc")}, QString::fromStdString("C=fixed:" + drive));
    if (!volume.WaitForBlocked(1)) {
      ADD_FAILURE() << "no call of the volume blocked";
      process.kill();
      process.waitForFinished();
      return {};
    }
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    if (!process.waitForFinished(5000)) {
      ADD_FAILURE() << "the run did not end after the signal";
      return {};
    }
    EXPECT_EQ(process.exitCode(), 1);
    return QString::fromUtf8(process.readAllStandardOutput());
  }

  TestEnv env;
  std::string root;
};

TEST_F(HeadlessRunTest, DryRunPrintsWhatItWouldDeleteAndDeletesNothing) {
  const RunResult run = Vantrel({"--dry-run", "/dall"});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_EQ(run.out, QStringLiteral(" Finished\nFiles: 2\nTotal size: 7 bytes\n") + At("/c/a.tmp") +
                         u'\n' + At("/e/b\\xff.bak") + u'\n');
  EXPECT_TRUE(Exists(root + "/c/a.tmp"));
  EXPECT_TRUE(Exists(root + "/e/b\xff.bak"));
}

TEST_F(HeadlessRunTest, UnattendedRunDeletesAndReports) {
  const RunResult run = Vantrel({"/dall"});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_EQ(run.out, QStringLiteral(" Finished\nFiles: 2\nTotal size: 7 bytes\n"
                                    " Deleted files 2 of 2\nFiles: 0\nTotal size: 0 bytes\n"));
  EXPECT_FALSE(Exists(root + "/c/a.tmp"));
  EXPECT_FALSE(Exists(root + "/e/b\xff.bak"));
  EXPECT_TRUE(Exists(root + "/c/keep.tmp"));

  // No RAM drive: no walker runs, so no total is shown (the deletion's is).
  const RunResult none = Vantrel({"/dram"});
  EXPECT_EQ(none.exitCode, 0) << none.err.toStdString();
  EXPECT_EQ(none.out, QStringLiteral(" Finished\nFiles: 0\n\n Deleted files 0 of 0\nFiles: 0\n"
                                     "Total size: 0 bytes\n"));
}

// The trash, from --trash or UseTrash = 1: the output is a deletion's, the findings are in the
// home trash, and the cache cleaning still deletes (a trash would only keep the cache).
TEST_F(HeadlessRunTest, TrashTakesTheFindingsAndTheCacheCleaningStillDeletes) {
  const struct {
    QStringList arguments;
    const char* members;
    bool trashed;
  } cases[] = {
      {{"--trash", "/dall"}, "", true},
      {{"/dall"}, ", \"UseTrash\": 1", true},
      {{"/dall"}, ", \"UseTrash\": 2", false},
  };
  const std::string trash = root + "/home/.local/share/Trash";
  const std::string cache = root + "/cache/mozilla/firefox";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.join(u' ').toStdString() + c.members);
    QProcess::execute(QStringLiteral("rm"), {"-rf", QString::fromStdString(trash)});
    MakeFile(root + "/c/a.tmp", "123");
    MakeFile(root + "/e/b\xff.bak", "4567");
    QDir().mkpath(QString::fromStdString(cache));
    MakeFile(cache + "/entry", "x");
    Settings(QByteArray(", \"AutoCheckFF\": 1, \"CheckITemp\": 1") + c.members);
    const RunResult run = Vantrel(c.arguments);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral(" Finished\nFiles: 2\nTotal size: 7 bytes\n"
                                      " Deleted files 2 of 2\nFiles: 0\nTotal size: 0 bytes\n"));
    EXPECT_FALSE(Exists(root + "/c/a.tmp"));
    EXPECT_EQ(Exists(trash + "/files/a.tmp"), c.trashed);
    EXPECT_EQ(Exists(trash + "/files/b\xff.bak"), c.trashed);
    EXPECT_EQ(Exists(trash + "/info/b\xff.bak.trashinfo"), c.trashed);
    EXPECT_FALSE(Exists(cache + "/entry"));
    EXPECT_FALSE(Exists(trash + "/files/entry"));
  }
  // --dry-run still only names the files.
  MakeFile(root + "/c/a.tmp", "123");
  const RunResult dry = Vantrel({"--trash", "--dry-run", "/dc"});
  EXPECT_EQ(dry.out,
            QStringLiteral(" Finished\nFiles: 1\nTotal size: 3 bytes\n") + At("/c/a.tmp") + u'\n');
  EXPECT_TRUE(Exists(root + "/c/a.tmp"));
}

// A listed file that the cache cleaning takes away counts no more in the total.
TEST_F(HeadlessRunTest, TotalAfterTheCacheCleaningCountsWhatIsLeft) {
  const std::string cache = root + "/c/cache";
  MakeDir(cache);
  MakeFile(cache + "/x.tmp", std::string(100, 'x'));
  env.WriteFile(env.RegistryFile(),
                "{\"SOFTWARE\\\\Vantrel\\\\Options\": {\"AutoCheckHD\": 0, \"CheckITemp\": 1}, "
                "\"Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell "
                "Folders\": {\"Cache\": \"" +
                    QByteArray::fromStdString(cache) + "\"}}");
  const RunResult run = Vantrel({"/dc"});
  EXPECT_EQ(run.out, QStringLiteral(" Finished\nFiles: 2\nTotal size: 3 bytes\n"
                                    " Deleted files 0 of 2\nFiles: 2\nTotal size: 3 bytes\n"));
  EXPECT_FALSE(Exists(cache + "/x.tmp"));
}

TEST_F(HeadlessRunTest, WithoutAutomaticTicksNothingIsDeleted) {
  Settings("");
  const RunResult run = Vantrel({"/dc"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, QStringLiteral(" Finished\nFiles: 1\nTotal size: 3 bytes\n"
                                    " Deleted files 0 of 1\nFiles: 1\nTotal size: 3 bytes\n"));
  EXPECT_TRUE(Exists(root + "/c/a.tmp"));
}

TEST_F(HeadlessRunTest, UndeletableFileIsReportedAsMarked) {
  // Immutable: not even root may unlink it.
  const std::string locked = root + "/c/locked.tmp";
  MakeFile(locked, "12");
  UniqueFd fd(::open(locked.c_str(), O_RDONLY));
  int flags = 0;
  if (::ioctl(fd.Get(), FS_IOC_GETFLAGS, &flags) != 0) GTEST_SKIP() << "no file attributes here";
  const int original = flags;
  flags |= FS_IMMUTABLE_FL;
  if (::ioctl(fd.Get(), FS_IOC_SETFLAGS, &flags) != 0) GTEST_SKIP() << "cannot make immutable";
  const RunResult run = Vantrel({"/dc"});
  ::ioctl(fd.Get(), FS_IOC_SETFLAGS, &original);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, QStringLiteral(" Finished\nFiles: 2\nTotal size: 5 bytes\n") +
                         At("/c/locked.tmp") +
                         QStringLiteral(" (Cannot delete file)\n"
                                        " Deleted files 1 of 2\nFiles: 1\nTotal size: 2 bytes\n"))
      << run.out.toStdString();
  EXPECT_TRUE(Exists(locked));
}

TEST_F(HeadlessRunTest, FailureEndsTheRunWithStatusOne) {
  ::unlink((Bytes(env.Work()) + "/exceptions.ini").c_str());
  const RunResult run = Vantrel({"/dall"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.err.contains(QStringLiteral("Vantrel: Cannot open file exceptions.ini.\n")))
      << run.err.toStdString();
  EXPECT_EQ(run.out, QString());
  EXPECT_TRUE(Exists(root + "/c/a.tmp"));
}

// A window whose creation fails on a stored value shows its box, and start-up goes on: the
// unattended cleaning still runs to its end. A failure that keeps the switch from taking effect
// (the main window's own) ends the run with status 1, nothing checked.
TEST_F(HeadlessRunTest, StartUpFailureShowsItsBoxAndTheRunGoesOn) {
  struct Case {
    const char* members;
    int exitCode;
    const char* box;
    bool checked;
  };
  const Case cases[] = {
      {", \"AutoCheckFF\": 1, \"FindWndWidth\": \"wide\"", 0,
       "Vantrel: Failed to get data for 'FindWndWidth'\n", true},
      {", \"AutoCheckFF\": 1, \"FindWndState\": \"12345\"", 0,
       "Vantrel: Failed to get data for 'FindWndState'\n", true},
      {", \"AutoCheckFF\": 1, \"FindWndLeft\": 1.5, \"FindWndTop\": \"x\"", 0,
       "Vantrel: Invalid data type for 'FindWndTop'\n", true},
      {", \"AutoCheckFF\": 1, \"AutoCheckHD\": \"x\"", 1,
       "Vantrel: Invalid data type for 'AutoCheckHD'\n", false},
      // The main window's activation reads the language too, and its failure ends the run there.
      {", \"AutoCheckFF\": 1, \"Language\": 7", 1, "Vantrel: Invalid data type for 'Language'\n",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.members);
    MakeFile(root + "/c/a.tmp", "123");
    Settings(c.members);
    const RunResult run = Vantrel({"/dc"});
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.box))) << run.err.toStdString();
    EXPECT_EQ(run.out,
              c.checked ? QStringLiteral(" Finished\nFiles: 1\nTotal size: 3 bytes\n"
                                         " Deleted files 1 of 1\nFiles: 0\nTotal size: 0 bytes\n")
                        : QString());
    EXPECT_EQ(Exists(root + "/c/a.tmp"), !c.checked);
  }
}

// A drive map that cannot be parsed keeps the unattended run from starting.
TEST_F(HeadlessRunTest, DriveMapThatCannotBeParsedEndsTheRunWithStatusOne) {
  for (const char* drives : {"C=fixed", "C=floppy:/x", "C=fixed:relative", "CC=fixed:/x"}) {
    SCOPED_TRACE(drives);
    const RunResult run = Vantrel({"/dall"}, QString::fromLatin1(drives));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("VANTREL_DRIVES cannot be parsed")))
        << run.err.toStdString();
    EXPECT_EQ(run.out, QString());
  }
  EXPECT_TRUE(Exists(root + "/c/a.tmp"));
}

// A service stopped while a removal hangs: the run ends at once, with every entry it did not
// delete marked, what it did delete (the list goes from its end) counted, the summary written
// and status 1.
TEST_F(HeadlessRunTest, SignalEndsAHangingDeletionWithEverythingWritten) {
  const struct {
    const char* drive;  // each its own: a volume's state outlives it
    const char* tree;
    const char* deletion;
  } cases[] = {
      {"f", "f a.tmp 1\nu b.tmp 2\n",
       "b.tmp (Cannot delete file)\n|a.tmp (Cannot delete file)\n| Deleted files 0 of 2\nFiles: "
       "2\n"},
      {"g", "u a.tmp 1\nf b.tmp 2\n",
       "a.tmp (Cannot delete file)\n| Deleted files 1 of 2\nFiles: 1\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tree);
    const std::string drive = root + "/" + c.drive;
    BlockingVolume volume(drive, c.tree);
    if (!volume.Skip().empty()) GTEST_SKIP() << volume.Skip();
    const QString out = PrintedUntilSignal(drive, volume);
    QString expected = QStringLiteral(" Finished\nFiles: 2\nTotal size: 3 bytes\n");
    for (const QString& line : QString::fromLatin1(c.deletion).split(u'|'))
      expected += line.endsWith(QStringLiteral("file)\n"))
                      ? At("/" + std::string(c.drive) + "/") + line
                      : line;
    EXPECT_TRUE(out.startsWith(expected)) << out.toStdString();
    volume.Release();
  }
}

// A service stopped while a listing hangs: nothing more is checked, also not what the walk would
// have met after the hanging folder.
TEST_F(HeadlessRunTest, SignalWhileAListingHangsChecksNothingMore) {
  const std::string drive = root + "/f";
  BlockingVolume volume(drive, "f a.tmp 1\nb blk\nf blk/in.tmp 2\nf z.tmp 3\n");
  if (!volume.Skip().empty()) GTEST_SKIP() << volume.Skip();
  // a.tmp is listed unless the signal came first; z.tmp never.
  const QString out = PrintedUntilSignal(drive, volume);
  EXPECT_TRUE(out.startsWith(QStringLiteral(" Finished\nFiles: 1\n")) ||
              out.startsWith(QStringLiteral(" Finished\nFiles: 0\n")))
      << out.toStdString();
  EXPECT_FALSE(out.contains(QStringLiteral("z.tmp"))) << out.toStdString();
  volume.Release();
}

TEST_F(HeadlessRunTest, MissingDriveRootIsAWarningNotAFailure) {
  ::unlink((root + "/e/b\xff.bak").c_str());
  ::rmdir((root + "/e").c_str());
  const RunResult run = Vantrel({"/dall"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(run.err.contains(QStringLiteral("Attention: No disk or disk error!\n")));
  EXPECT_FALSE(Exists(root + "/c/a.tmp"));
}

TEST_F(HeadlessRunTest, ParameterTwoIsStartedWithParameterThreeAsArguments) {
  const std::string script = root + "/after.sh";
  MakeFile(script, "#!/bin/sh\nprintf '%s|' \"$@\" > \"$(dirname \"$0\")/ran\"\n");
  ::chmod(script.c_str(), 0755);
  const RunResult run =
      Vantrel({"/dc", QString::fromStdString(script), "one \"two three\" 'four five' six\\ seven"});
  EXPECT_EQ(run.exitCode, 0);
  QElapsedTimer waited;
  waited.start();
  while (!Exists(root + "/ran") && waited.elapsed() < 10000) QThread::msleep(10);
  EXPECT_EQ(env.ReadFile(QString::fromStdString(root + "/ran")),
            "one|two three|four five|six seven|");
}

}  // namespace
