#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A Wayland compositor of the test's own: weston on its headless backend, with its socket in a
// runtime directory of its own. Ends it when it goes.
class WaylandSession {
 public:
  WaylandSession() = default;
  ~WaylandSession();

  // Starts weston and waits for its socket; false with the reason (weston or Qt's Wayland
  // platform missing, a start that failed) otherwise.
  bool Start(QString* why);
  QString RuntimeDir() const { return runtime_.path(); }
  QString Display() const { return QStringLiteral("wayland-vantrel"); }

 private:
  QTemporaryDir runtime_;
  QProcess weston_;
};

// Why the wayland tests run without a compositor (set by their main); empty when one runs.
QString WaylandSessionMissing();
