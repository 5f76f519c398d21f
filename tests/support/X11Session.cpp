#include "X11Session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>
#include <string>
#include <vector>

extern char** environ;

namespace {

bool g_running = false;
QString g_missing;

// Starts program with these arguments and environment additions, its output discarded;
// keep is a descriptor the child keeps as descriptor 3 (or -1). -1 when it could not start.
pid_t Spawn(const QString& program, const QStringList& arguments, const QStringList& extraEnv,
            int keep) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  if (keep >= 0) posix_spawn_file_actions_adddup2(&actions, keep, 3);
  std::vector<std::string> strings{program.toStdString()};
  for (const QString& argument : arguments) strings.push_back(argument.toStdString());
  std::vector<char*> argv;
  for (std::string& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e) envStrings.emplace_back(*e);
  for (const QString& e : extraEnv) envStrings.push_back(e.toStdString());
  std::vector<char*> envp;
  for (std::string& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

void End(pid_t& pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  pid = -1;
}

// The display number that Xvfb writes on its -displayfd descriptor, within ten seconds.
QString ReadDisplayNumber(int fd) {
  std::string text;
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 10000 && text.find('\n') == std::string::npos) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buffer[32];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return QString::fromStdString(text).trimmed();
}

QString WindowId(const QWidget* window) {
  return QStringLiteral("0x") + QString::number(window->winId(), 16);
}

// The atom names of a property that xprop lists as "NAME(ATOM) = A, B".
QStringList AtomList(const QWidget* window, const QString& property) {
  const QString output = RunX11Tool(QStringLiteral("xprop"), {"-id", WindowId(window), property});
  const qsizetype equals = output.indexOf(u'=');
  if (equals < 0) return {};
  QStringList atoms;
  for (const QString& atom : output.mid(equals + 1).split(u',', Qt::SkipEmptyParts))
    atoms << atom.trimmed();
  return atoms;
}

// The inner area in what xwininfo prints of a window.
QRect InnerArea(const QString& info) {
  const auto field = [&info](const char* name) {
    const QRegularExpression pattern(QString::fromLatin1(name) + QStringLiteral(":\\s*(-?\\d+)"));
    return pattern.match(info).captured(1).toInt();
  };
  return QRect(field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
               field("Height"));
}

}  // namespace

X11Session::~X11Session() {
  End(manager_);
  End(server_);
}

bool X11Session::Start(QString* why) {
  for (const char* tool : {"Xvfb", "openbox", "xprop", "xwininfo", "wmctrl"}) {
    if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
      *why = QStringLiteral(
                 "%1 is not installed (scripts/install-deps installs Xvfb, openbox, "
                 "x11-utils and wmctrl)")
                 .arg(QString::fromLatin1(tool));
      return false;
    }
  }
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    *why = QStringLiteral("no pipe for Xvfb");
    return false;
  }
  // Out of the way of descriptor 3, which the child gets it as.
  const int writeEnd = ::fcntl(fds[1], F_DUPFD_CLOEXEC, 10);
  ::close(fds[1]);
  server_ =
      Spawn(QStringLiteral("Xvfb"),
            {"-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, {}, writeEnd);
  ::close(writeEnd);
  const QString number = server_ > 0 ? ReadDisplayNumber(fds[0]) : QString();
  ::close(fds[0]);
  if (number.isEmpty()) {
    *why = QStringLiteral("Xvfb did not start");
    return false;
  }
  display_ = u':' + number;
  // openbox runs its startup command once it manages windows.
  const QString ready = scratch_.filePath(QStringLiteral("openbox-ready"));
  manager_ = Spawn(QStringLiteral("openbox"), {"--startup", "touch " + ready},
                   {QStringLiteral("DISPLAY=") + display_}, -1);
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 30000) {
    if (QFileInfo::exists(ready)) return true;
    QThread::msleep(20);
  }
  *why = QStringLiteral("openbox did not start on ") + display_;
  return false;
}

bool X11SessionRunning() {
  return g_running;
}

QString X11SessionMissing() {
  return g_missing;
}

void SetX11SessionState(bool running, const QString& missing) {
  g_running = running;
  g_missing = missing;
}

QString RunX11Tool(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  process.waitForFinished();
  return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QRect ServerInner(const QWidget* window) {
  return InnerArea(RunX11Tool(QStringLiteral("xwininfo"), {"-id", WindowId(window)}));
}

QRect ServerFrame(const QWidget* window) {
  const QString info = RunX11Tool(QStringLiteral("xwininfo"), {"-id", WindowId(window)});
  if (!info.contains(QStringLiteral("IsViewable"))) return QRect();
  const QStringList extents = AtomList(window, QStringLiteral("_NET_FRAME_EXTENTS"));
  if (extents.size() != 4) return QRect();
  // left, right, top, bottom
  return InnerArea(info).adjusted(-extents[0].toInt(), -extents[2].toInt(), extents[1].toInt(),
                                  extents[3].toInt());
}

void SaveScreenScreenshot(const QRect& area, const QString& name) {
  const QString dir = QStringLiteral(VANTREL_SCREENSHOT_DIR);
  QDir().mkpath(dir);
  QGuiApplication::primaryScreen()
      ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
      .save(dir + u'/' + name + QStringLiteral(".png"));
}

QStringList AllowedActions(const QWidget* window) {
  return AtomList(window, QStringLiteral("_NET_WM_ALLOWED_ACTIONS"));
}

QStringList WindowStates(const QWidget* window) {
  return AtomList(window, QStringLiteral("_NET_WM_STATE"));
}
