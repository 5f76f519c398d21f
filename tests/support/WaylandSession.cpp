#include "WaylandSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QStandardPaths>
#include <QThread>

WaylandSession::~WaylandSession() {
  weston_.terminate();
  weston_.waitForFinished();
}

bool WaylandSession::Start(QString* why) {
  const QString plugins = QLibraryInfo::path(QLibraryInfo::PluginsPath);
  if (QStandardPaths::findExecutable(QStringLiteral("weston")).isEmpty() ||
      QDir(plugins + QStringLiteral("/platforms")).entryList({"*wayland*"}).isEmpty()) {
    *why = QStringLiteral(
        "weston or Qt's Wayland platform is not installed (scripts/install-deps "
        "installs weston and qt6-wayland)");
    return false;
  }
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
  weston_.setProcessEnvironment(environment);
  weston_.setProcessChannelMode(QProcess::MergedChannels);
  weston_.start(QStringLiteral("weston"), {"--backend=headless-backend.so", "--use-pixman",
                                           "--idle-time=0", "--socket=" + Display()});
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 30000 && weston_.state() != QProcess::NotRunning) {
    if (QFileInfo::exists(runtime_.filePath(Display()))) return true;
    weston_.waitForReadyRead(20);
  }
  *why = QStringLiteral("weston did not start: ") +
         QString::fromLocal8Bit(weston_.readAll()).trimmed().section(u'\n', -1);
  return false;
}
