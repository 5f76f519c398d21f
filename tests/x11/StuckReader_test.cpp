// The unattended run under a real X server: Stop pressed while a listing blocks (the volume never
// answers) ends the run within a second, its standard output closed, also when the volume's
// server ignores the kernel's interrupts (the helper that reads it cannot even be killed).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include "../core/ScanTestSupport.h"
#include "BlockingVolume.h"
#include "TestEnv.h"
#include "X11Session.h"
#include "platform/UniqueFd.h"

namespace {

// Whether the pipe's last writer has closed it within the time.
bool ClosedWithin(int readFd, int milliseconds, std::string& read) {
  QElapsedTimer waited;
  waited.start();
  char buffer[4096];
  while (waited.elapsed() < milliseconds) {
    pollfd fd{readFd, POLLIN, 0};
    if (::poll(&fd, 1, 10) <= 0) continue;
    const ssize_t n = ::read(readFd, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n > 0) read.append(buffer, static_cast<size_t>(n));
  }
  return false;
}

// The program under the test's X server, in env's working directory, with the given drives.
void Prepare(QProcess& vantrel, const TestEnv& env, const QString& drives) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
  environment.insert(QStringLiteral("VANTREL_DRIVES"), drives);
  vantrel.setProcessEnvironment(environment);
  vantrel.setWorkingDirectory(env.Work());
}

class StuckReaderTest : public ::testing::TestWithParam<const char*> {};

TEST_P(StuckReaderTest, UnattendedRunEndsWithinASecondOfStopWhileAReadBlocks) {
  if (!X11SessionRunning())
    GTEST_SKIP() << "no X server with a window manager: " << X11SessionMissing().toStdString();
  const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
  if (xdotool.isEmpty()) GTEST_SKIP() << "xdotool is not installed";
  TestEnv env;
  const std::string drive = Bytes(env.Root()) + "/f";
  BlockingVolume volume(drive,
                        std::string(GetParam()) + "f a.tmp 1\nb blk\nf blk/in.tmp 2\nf z.tmp 3\n");
  if (!volume.Skip().empty()) GTEST_SKIP() << volume.Skip();
  env.WriteFile(QStringLiteral("vantrel.ini"), "*.tmp\r\n");
  env.WriteFile(QStringLiteral("exceptions.ini"), "");
  env.WriteFile(env.RegistryFile(),
                "{\"SOFTWARE\\\\Vantrel\\\\Options\": {\"AutoCheckHD\": 0, \"AutoCheckFF\": 1}}");

  // Standard output is a pipe of the test's: it reads as closed once no process holds it.
  int out[2];
  ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
  UniqueFd outRead(out[0]);
  UniqueFd outWrite(out[1]);
  QProcess vantrel;
  Prepare(vantrel, env, QStringLiteral("C=fixed:") + QString::fromStdString(drive));
  vantrel.setStandardOutputFile(QStringLiteral("/proc/self/fd/%1").arg(outWrite.Get()));
  vantrel.start(QStringLiteral(VANTREL_BINARY), {"--dry-run", "/dc"});
  ASSERT_TRUE(vantrel.waitForStarted());
  outWrite.Reset();
  ASSERT_TRUE(volume.WaitForBlocked(1));

  QProcess search;
  search.start(xdotool, {"search", "--sync", "--onlyvisible", "--name", "List of unuseful files"});
  ASSERT_TRUE(search.waitForFinished(10000));
  const QString window = QString::fromLatin1(search.readAllStandardOutput()).section(u'\n', 0, 0);
  ASSERT_FALSE(window.isEmpty());
  // The Stop button: 107 to 207 across, 3 to 38 down, in the window.
  QProcess::execute(xdotool, {"mousemove", "--window", window, "157", "20", "click", "1"});
  QElapsedTimer sinceStop;
  sinceStop.start();
  std::string printed;
  EXPECT_TRUE(ClosedWithin(outRead.Get(), 1000, printed));
  ASSERT_TRUE(vantrel.waitForFinished(10000));
  EXPECT_LT(sinceStop.elapsed(), 1000);
  EXPECT_EQ(vantrel.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(vantrel.exitCode(), 0);
  // What was found before the blocked folder, and nothing after it.
  EXPECT_EQ(printed, drive + "/a.tmp\n");
  EXPECT_EQ(volume.Blocked(), 1);  // still stuck: the volume never answered
}

// SIGTERM while a box of the start-up waits for a person (a stored value of the wrong kind)
// ends the program, as at any other moment.
TEST(TerminationTest, SignalWhileAStartUpBoxWaitsEndsTheProgram) {
  if (!X11SessionRunning())
    GTEST_SKIP() << "no X server with a window manager: " << X11SessionMissing().toStdString();
  const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
  if (xdotool.isEmpty()) GTEST_SKIP() << "xdotool is not installed";
  TestEnv env;
  env.WriteFile(
      env.RegistryFile(),
      "{\"SOFTWARE\\\\Vantrel\\\\Options\": {\"AutoCheckHD\": 0, \"FindWndState\": \"x\"}}");
  QProcess vantrel;
  Prepare(vantrel, env, QStringLiteral("C=fixed:/nonexistent"));
  vantrel.start(QStringLiteral(VANTREL_BINARY), {});
  ASSERT_TRUE(vantrel.waitForStarted());
  QProcess search;
  search.start(xdotool, {"search", "--sync", "--onlyvisible", "--pid",
                         QString::number(vantrel.processId()), "--name", "Vantrel"});
  ASSERT_TRUE(search.waitForFinished(10000));
  ::kill(static_cast<pid_t>(vantrel.processId()), SIGTERM);
  EXPECT_TRUE(vantrel.waitForFinished(3000));
  EXPECT_EQ(vantrel.exitCode(), 1);
  if (vantrel.state() != QProcess::NotRunning) vantrel.kill();
}

INSTANTIATE_TEST_SUITE_P(Servers, StuckReaderTest, ::testing::Values("", "i\n"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param).empty() ? "AnswersInterrupts"
                                                                  : "IgnoresInterrupts";
                         });

}  // namespace
