#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include "TestEnv.h"

namespace {

struct ParseCase {
  QStringList arguments;
  QStringList parameters;
  bool help, version, dryRun;
  QString unknown;
  bool trash = false;
};

TEST(CommandLineTest, GnuOptionsAreTakenOutBeforeParametersAreNumbered) {
  const std::vector<ParseCase> cases = {
      {{}, {}, false, false, false, {}},
      {{"/dall"}, {"/dall"}, false, false, false, {}},
      {{"--dry-run", "/dc", "notes.txt", "-x y"},
       {"/dc", "notes.txt", "-x y"},
       false,
       false,
       true,
       {}},
      {{"/dc", "--dry-run"}, {"/dc"}, false, false, true, {}},
      {{"--help", "--version"}, {}, true, true, false, {}},
      {{"--list-drives"}, {}, false, false, false, {}},
      // "--" ends the options: what follows is a parameter even when it looks like one.
      {{"--", "--dry-run"}, {"--dry-run"}, false, false, false, {}},
      // A single minus is no option: it stays parameter 1 (and matches no switch).
      {{"-dall"}, {"-dall"}, false, false, false, {}},
      {{"--frobnicate", "/dall"}, {"/dall"}, false, false, false, "--frobnicate"},
      {{"--trash", "/dc", "--dry-run"}, {"/dc"}, false, false, true, {}, true},
      {{"--", "--trash"}, {"--trash"}, false, false, false, {}, false},
  };
  for (const ParseCase& c : cases) {
    const CommandLine parsed = ParseCommandLine(c.arguments);
    EXPECT_EQ(parsed.parameters, c.parameters) << c.arguments.join(u' ').toStdString();
    EXPECT_EQ(parsed.help, c.help);
    EXPECT_EQ(parsed.version, c.version);
    EXPECT_EQ(parsed.dryRun, c.dryRun);
    EXPECT_EQ(parsed.unknownOption, c.unknown);
    EXPECT_EQ(parsed.trash, c.trash);
    EXPECT_EQ(parsed.listDrives, c.arguments.contains(QStringLiteral("--list-drives")));
  }
}

TEST(CommandLineTest, DriveSwitchesAreTold) {
  for (const char* yes :
       {"/dall", "/DALL", "/dHard", "/dram", "/dremovable", "/dremote", "/dc", "/DZ"})
    EXPECT_TRUE(IsDriveSwitch(QString::fromLatin1(yes))) << yes;
  for (const char* no : {"", "/d", "/d1", "/dcc", "-dall", "/dall ", "dall", "/x", "/dä"})
    EXPECT_FALSE(IsDriveSwitch(QString::fromUtf8(no))) << no;
}

TEST(CommandLineTest, ParamStrNumbersFromOne) {
  SetProgramCommandLine(ParseCommandLine({"--dry-run", "/dc", "doc"}));
  EXPECT_EQ(ParamCount(), 2);
  EXPECT_EQ(ParamStr(1), "/dc");
  EXPECT_EQ(ParamStr(2), "doc");
  EXPECT_EQ(ParamStr(3), "");
  EXPECT_EQ(ParamStr(0), "");
  SetProgramCommandLine(CommandLine{});
}

// The real program, started without a display.
struct RunResult {
  int exitCode;
  QString out, err;
};

// display, when given, is put in DISPLAY and WAYLAND_DISPLAY.
RunResult RunVantrel(const TestEnv& env, const QStringList& arguments,
                     const QString& drives = QString(), const QString& display = QString()) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove(QStringLiteral("DISPLAY"));
  environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
  environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
  if (!display.isEmpty()) {
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), display);
  }
  environment.insert(QStringLiteral("VANTREL_DRIVES"),
                     drives.isEmpty() ? QStringLiteral("C=fixed:") + env.Work() : drives);
  process.setProcessEnvironment(environment);
  process.setWorkingDirectory(env.Work());
  process.start(QStringLiteral(VANTREL_BINARY), arguments);
  process.waitForFinished(60000);
  return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
          QString::fromUtf8(process.readAllStandardError())};
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!QFileInfo(QStringLiteral(VANTREL_BINARY)).isExecutable())
      GTEST_SKIP() << "the program is not built yet";
  }
  TestEnv env;
};

TEST_F(ProgramTest, VersionAndHelp) {
  const RunResult version = RunVantrel(env, {"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "Vantrel 1.5.0.42\n");
  const RunResult help = RunVantrel(env, {"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(help.out.startsWith("Usage: vantrel")) << help.out.toStdString();
  EXPECT_TRUE(help.out.contains("  --trash       move the files to the trash"))
      << help.out.toStdString();
}

// A display that cannot be reached proves that the listing never starts the window system.
TEST_F(ProgramTest, ListDrivesPrintsTheMapWithoutTouchingTheDisplay) {
  const RunResult list = RunVantrel(
      env, {"--list-drives"}, QStringLiteral("E=removable:/media/my stick;C=fixed:/;D=cdrom:/cd"),
      QStringLiteral("no-such-display:4711"));
  EXPECT_EQ(list.exitCode, 0) << list.err.toStdString();
  EXPECT_EQ(list.out, "C: Hard Drive /\nE: Removable Drive /media/my stick\n");
  EXPECT_EQ(list.err, "");

  const RunResult malformed = RunVantrel(env, {"--list-drives"}, QStringLiteral("C:/"));
  EXPECT_EQ(malformed.exitCode, 1);
  EXPECT_EQ(malformed.out, "");
  EXPECT_EQ(malformed.err, "vantrel: VANTREL_DRIVES cannot be parsed: C:/\n");

  const RunResult help = RunVantrel(env, {"--help"});
  EXPECT_TRUE(help.out.contains("--list-drives")) << help.out.toStdString();
}

TEST_F(ProgramTest, WithoutDisplayAndWithoutSwitchPrintsUsageAndExits2) {
  for (const QStringList& arguments : {QStringList{}, QStringList{"/x"}, QStringList{"/dq"}}) {
    const RunResult run = RunVantrel(env, arguments);
    EXPECT_EQ(run.exitCode, 2) << arguments.join(u' ').toStdString();
    EXPECT_TRUE(run.out.startsWith("Usage: vantrel"));
  }
  const RunResult unknown = RunVantrel(env, {"--bogus"});
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_TRUE(unknown.err.contains("--bogus"));
}

// A display that cannot be reached fails an unattended run like any failure: no abort.
TEST_F(ProgramTest, UnreachableDisplayFailsWithStatus1) {
  const RunResult run =
      RunVantrel(env, {"/dall"}, QString(), QStringLiteral("no-such-display:4711"));
  EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
}

TEST_F(ProgramTest, UnattendedRunWithoutMaskFileFailsWithStatus1) {
  const RunResult run = RunVantrel(env, {"/dall"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.err.contains("Vantrel: Cannot open file vantrel.ini.")) << run.err.toStdString();
}

}  // namespace
