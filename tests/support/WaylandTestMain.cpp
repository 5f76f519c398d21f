#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "UiTestSupport.h"

namespace {
QString g_missing;
}

// Why the wayland tests run without a compositor; empty when one runs.
QString WaylandSessionMissing() {
  return g_missing;
}

// The wayland tests run under a weston of their own (headless, its socket in a runtime
// directory of its own), started here (not when the tests are only listed); without it every
// test skips and says why.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  QTemporaryDir runtime;
  const QString socket = runtime.filePath(QStringLiteral("wayland-vantrel"));
  QProcess weston;
  if (QStandardPaths::findExecutable(QStringLiteral("weston")).isEmpty() ||
      QDir(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"))
          .entryList({"*wayland*"})
          .isEmpty()) {
    g_missing = QStringLiteral(
        "weston or Qt's Wayland platform is not installed "
        "(scripts/install-deps installs weston and qt6-wayland)");
  } else {
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    weston.setProcessChannelMode(QProcess::MergedChannels);
    // Ends with the tests also when they die (a crash, a fatal Wayland error).
    weston.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    weston.start(QStringLiteral("weston"), {"--backend=headless-backend.so", "--use-pixman",
                                            "--idle-time=0", "--socket=wayland-vantrel"});
    QElapsedTimer waited;
    waited.start();
    while (!QFileInfo::exists(socket) && weston.state() != QProcess::NotRunning &&
           waited.elapsed() < 30000)
      weston.waitForReadyRead(20);
    if (!QFileInfo::exists(socket))
      g_missing = "weston did not start: " + QString::fromLocal8Bit(weston.readAll()).trimmed();
  }
  if (g_missing.isEmpty()) {
    qputenv("WAYLAND_DISPLAY", "wayland-vantrel");
    qputenv("QT_QPA_PLATFORM", "wayland");
    qunsetenv("DISPLAY");
    // A headless weston has no seat, and Qt 6.4's Wayland text input then crashes drawing the
    // cursor of a line edit; the plain input context does without a seat.
    qputenv("QT_IM_MODULE", "none");
  } else {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  const int status = RunWindowTests(argc, argv);
  weston.terminate();
  weston.waitForFinished();
  return status;
}
