// What `cmake --install` puts where, and the desktop launcher's first start.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>

#include "ChildProcess.h"
#include "TestEnv.h"

namespace {

struct ProcessResult {
  int exitCode;
  QString out;
  QString err;
};

ProcessResult RunProcess(
    const QString& program, const QStringList& arguments,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(program, arguments);
  process.waitForFinished(120000);
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
          QString::fromUtf8(process.readAllStandardOutput()),
          QString::fromUtf8(process.readAllStandardError())};
}

QStringList FilesBelow(const QString& root) {
  QStringList files;
  QDirIterator it(root, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) files << QDir(root).relativeFilePath(it.next());
  files.sort();
  return files;
}

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const QString cmake = QStandardPaths::findExecutable(QStringLiteral("cmake"));
    if (cmake.isEmpty()) GTEST_SKIP() << "cmake is not on the PATH";
    // A blank in the prefix proves the desktop file quotes the launcher's path.
    prefix = env.Root() + QStringLiteral("/install root");
    const QString build = QFileInfo(QStringLiteral(VANTREL_BINARY)).absolutePath();
    const ProcessResult install =
        RunProcess(cmake, {QStringLiteral("--install"), build, QStringLiteral("--prefix"), prefix});
    ASSERT_EQ(install.exitCode, 0) << install.err.toStdString();
  }

  TestEnv env;
  QString prefix;
};

TEST_F(InstallTest, TreeHoldsProgramLanguagesIconsAndDesktopFiles) {
  EXPECT_EQ(FilesBelow(prefix),
            QStringList({
                "bin/vantrel",
                "lib/systemd/user/vantrel-clean.service",
                "lib/systemd/user/vantrel-clean.timer",
                "libexec/vantrel/vantrel-launch",
                "share/applications/com.example.nelvor.vantrel.desktop",
                "share/bash-completion/completions/vantrel",
                "share/icons/hicolor/48x48/apps/com.example.nelvor.vantrel.png",
                "share/icons/hicolor/scalable/apps/com.example.nelvor.vantrel.svg",
                "share/man/man1/vantrel.1",
                "share/metainfo/com.example.nelvor.vantrel.metainfo.xml",
                "share/vantrel/Language/English.lng",
                "share/vantrel/Language/German.lng",
                "share/vantrel/Language/Russian.lng",
                "share/vantrel/starter/exceptions.ini",
                "share/vantrel/starter/vantrel.ini",
            }));
  EXPECT_TRUE(QFileInfo(prefix + QStringLiteral("/libexec/vantrel/vantrel-launch")).isExecutable());

  QFile desktop(prefix + QStringLiteral("/share/applications/com.example.nelvor.vantrel.desktop"));
  ASSERT_TRUE(desktop.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(desktop.readAll()).split(u'\n');
  EXPECT_TRUE(
      lines.contains(QStringLiteral("Exec=\"%1/libexec/vantrel/vantrel-launch\"").arg(prefix)));
  EXPECT_TRUE(lines.contains(QStringLiteral("Icon=com.example.nelvor.vantrel")));
}

TEST_F(InstallTest, MetadataAndDesktopFileValidate) {
  const QString appstream = QStandardPaths::findExecutable(QStringLiteral("appstreamcli"));
  if (appstream.isEmpty()) GTEST_SKIP() << "appstreamcli is not installed";
  const ProcessResult metainfo = RunProcess(
      appstream,
      {QStringLiteral("validate"), QStringLiteral("--no-net"), QStringLiteral("--pedantic"),
       prefix + QStringLiteral("/share/metainfo/com.example.nelvor.vantrel.metainfo.xml")});
  EXPECT_EQ(metainfo.exitCode, 0) << metainfo.out.toStdString();
  EXPECT_FALSE(metainfo.out.contains(QStringLiteral("P: "))) << metainfo.out.toStdString();

  const QString desktopValidate =
      QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
  if (desktopValidate.isEmpty()) return;
  const ProcessResult desktop = RunProcess(
      desktopValidate,
      {prefix + QStringLiteral("/share/applications/com.example.nelvor.vantrel.desktop")});
  EXPECT_EQ(desktop.exitCode, 0) << desktop.out.toStdString();
  EXPECT_EQ(desktop.out, "");
}

TEST_F(InstallTest, LauncherStartsInThePerUserDirectoryWithTheLanguagesLinked) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  // A relative one counts as none.
  environment.insert(QStringLiteral("XDG_DATA_HOME"), QStringLiteral("relative/share"));
  const QString launcher = prefix + QStringLiteral("/libexec/vantrel/vantrel-launch");
  const QString work = env.Root() + QStringLiteral("/home/.local/share/vantrel");

  for (int start = 1; start <= 2; ++start) {
    const ProcessResult run = RunProcess(launcher, {QStringLiteral("--version")}, environment);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "Vantrel 1.5.0.42\n");
    const QFileInfo language(work + QStringLiteral("/Language"));
    EXPECT_TRUE(language.isSymLink()) << start;
    EXPECT_EQ(language.symLinkTarget(), prefix + QStringLiteral("/share/vantrel/Language"));
    // The starter lists on first start, and no file besides.
    EXPECT_EQ(
        QDir(work).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden),
        QStringList({"exceptions.ini", "Language", "vantrel.ini"}));
    for (const char* list : {"/vantrel.ini", "/exceptions.ini"})
      EXPECT_EQ(env.ReadFile(work + list),
                env.ReadFile(QStringLiteral(VANTREL_SOURCE_DIR "/resources/starter") + list));
  }
  // A list of the user's own is never written over, nor the other list put beside it.
  env.WriteFile(work + QStringLiteral("/vantrel.ini"), "mine\r\n");
  QFile::remove(work + QStringLiteral("/exceptions.ini"));
  EXPECT_EQ(RunProcess(launcher, {QStringLiteral("--version")}, environment).exitCode, 0);
  EXPECT_EQ(env.ReadFile(work + QStringLiteral("/vantrel.ini")), "mine\r\n");
  EXPECT_FALSE(QFile::exists(work + QStringLiteral("/exceptions.ini")));

  // A Language directory of the user's own is left as it is.
  QFile::remove(work + QStringLiteral("/Language"));
  QDir(work).mkpath(QStringLiteral("Language"));
  EXPECT_EQ(RunProcess(launcher, {QStringLiteral("--version")}, environment).exitCode, 0);
  EXPECT_FALSE(QFileInfo(work + QStringLiteral("/Language")).isSymLink());
}

// A cron job may start the launcher without HOME: the working directory is then made below the
// home folder that the password database gives (one made for the test, bound over /etc/passwd in
// a private mount namespace), never below "/".
TEST_F(InstallTest, LauncherWithoutHomeUsesThePasswordDatabasesHome) {
  const std::string area = SharedArea(env.Root().toStdString());
  const std::string home = area + "/pw-home";
  const std::string passwd = area + "/passwd";
  QFile file(QString::fromStdString(passwd));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(QByteArray::fromStdString("me:x:54322:54322::" + home + ":/bin/sh\n"));
  file.close();
  const std::string launcher =
      (prefix + QStringLiteral("/libexec/vantrel/vantrel-launch")).toStdString();
  const ChildResult child = RunInChild([&] {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount(passwd.c_str(), "/etc/passwd", nullptr, MS_BIND, nullptr) != 0)
      return std::string("skip: cannot bind a password database over /etc/passwd");
    if (::mkdir(home.c_str(), 0755) != 0 || ::chown(home.c_str(), 54322, 54322) != 0 ||
        ::setgid(54322) != 0 || ::setuid(54322) != 0)
      return std::string("skip: cannot become the test's user");
    ::unsetenv("HOME");
    ::unsetenv("XDG_DATA_HOME");
    FILE* out = ::popen(("'" + launcher + "' --version").c_str(), "r");
    std::string printed;
    char buffer[256];
    while (out != nullptr && std::fgets(buffer, sizeof buffer, out) != nullptr) printed += buffer;
    const int status = out != nullptr ? ::pclose(out) : -1;
    struct stat st {};
    return "status " + std::to_string(status) + " " + printed + "work " +
           std::to_string(::lstat((home + "/.local/share/vantrel/Language").c_str(), &st) == 0);
  });
  if (child.report.starts_with("skip:")) GTEST_SKIP() << child.report;
  EXPECT_EQ(child.report, "status 0 Vantrel 1.5.0.42\nwork 1");
}

// systemd-analyze needs no running systemd, so this check runs everywhere the suite does:
// scripts/install-deps brings it. It also proves that ExecStart names an executable and that
// the manual page named in Documentation= is installed. The timer runs weekly, makes up for a
// week spent switched off, and starts only once the user enables it.
TEST_F(InstallTest, CleaningUnitsVerifyAndTheTimerIsWeekly) {
  const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
  ASSERT_FALSE(analyze.isEmpty()) << "systemd-analyze is missing: run scripts/install-deps";
  QTemporaryDir runtime;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
  environment.insert(QStringLiteral("MANPATH"), prefix + QStringLiteral("/share/man"));
  const QString units = prefix + QStringLiteral("/lib/systemd/user/");
  const ProcessResult verify =
      RunProcess(analyze,
                 {QStringLiteral("verify"), QStringLiteral("--user"),
                  units + "vantrel-clean.service", units + "vantrel-clean.timer"},
                 environment);
  EXPECT_EQ(verify.exitCode, 0) << verify.err.toStdString();
  EXPECT_EQ(verify.err + verify.out, "");

  QFile timer(units + QStringLiteral("vantrel-clean.timer"));
  ASSERT_TRUE(timer.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(timer.readAll()).split(u'\n');
  for (const char* line : {"OnCalendar=weekly", "Persistent=true", "WantedBy=timers.target"})
    EXPECT_TRUE(lines.contains(QString::fromLatin1(line))) << line;
}

// What the user manager hands the service: its own environment (a desktop session's DISPLAY
// imported into it), with the unit's Environment= set and UnsetEnvironment= removed.
struct UnitRun {
  QString program;
  QStringList arguments;
  QProcessEnvironment environment;
};

UnitRun ServiceCommand(const QString& unitPath, QProcessEnvironment environment) {
  QFile unit(unitPath);
  EXPECT_TRUE(unit.open(QIODevice::ReadOnly));
  UnitRun run;
  QStringList unset;
  for (const QString& line : QString::fromUtf8(unit.readAll()).split(u'\n')) {
    const QString value = line.section(u'=', 1);
    if (line.startsWith(QStringLiteral("ExecStart="))) {
      // Plain double quotes and "%%" only: what the install writes for a prefix with a blank.
      QStringList words = QProcess::splitCommand(QString(value).replace("%%", "%"));
      run.program = words.takeFirst();
      run.arguments = words;
    } else if (line.startsWith(QStringLiteral("Environment="))) {
      environment.insert(value.section(u'=', 0, 0), value.section(u'=', 1));
    } else if (line.startsWith(QStringLiteral("UnsetEnvironment="))) {
      unset += value.split(u' ', Qt::SkipEmptyParts);
    }
  }
  for (const QString& name : unset) environment.remove(name);
  run.environment = environment;
  return run;
}

TEST_F(InstallTest, CleaningServiceRunsInTheLaunchersDirectoryWithoutADisplay) {
  const QString work = env.Root() + QStringLiteral("/home/.local/share/vantrel");
  env.WriteFile(work + QStringLiteral("/vantrel.ini"), "*.tmp\r\n");
  env.WriteFile(work + QStringLiteral("/exceptions.ini"), "");
  env.WriteFile(env.RegistryFile(), "{\"SOFTWARE\\\\Vantrel\\\\Options\": {\"AutoCheckFF\": 1}}");
  env.WriteFile(QStringLiteral("drive/old.tmp"), "12345");
  env.WriteFile(QStringLiteral("drive/notes.txt"), "1");

  QProcessEnvironment session = QProcessEnvironment::systemEnvironment();
  session.remove(QStringLiteral("XDG_DATA_HOME"));
  session.remove(QStringLiteral("QT_QPA_PLATFORM"));
  session.insert(QStringLiteral("DISPLAY"), QStringLiteral("no-such-display:4711"));
  session.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("no-such-display"));
  session.insert(QStringLiteral("VANTREL_DRIVES"),
                 QStringLiteral("C=fixed:") + env.Work() + "/drive");
  const UnitRun service =
      ServiceCommand(prefix + QStringLiteral("/lib/systemd/user/vantrel-clean.service"), session);
  EXPECT_EQ(service.program, prefix + QStringLiteral("/libexec/vantrel/vantrel-launch"));
  EXPECT_EQ(service.arguments, QStringList({"/dall"}));

  const ProcessResult run = RunProcess(service.program, service.arguments, service.environment);
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_TRUE(run.out.startsWith(QStringLiteral(" Finished\nFiles: 1\n"))) << run.out.toStdString();
  EXPECT_FALSE(QFileInfo::exists(env.Work() + QStringLiteral("/drive/old.tmp")));
  EXPECT_TRUE(QFileInfo::exists(env.Work() + QStringLiteral("/drive/notes.txt")));
}

}  // namespace
