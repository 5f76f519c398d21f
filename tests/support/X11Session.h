#pragma once

#include <sys/types.h>

#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class QWidget;

// An X server of the test's own (Xvfb, on a display number it picks itself) with a window
// manager (openbox), for the tests that need real window frames. Ends both when it goes.
class X11Session {
 public:
  X11Session() = default;
  ~X11Session();
  X11Session(const X11Session&) = delete;
  X11Session& operator=(const X11Session&) = delete;

  // Starts the server and the window manager and waits until the manager runs; false with the
  // reason (a program missing, a start that failed) otherwise.
  bool Start(QString* why);
  QString Display() const { return display_; }

 private:
  QTemporaryDir scratch_;
  pid_t server_ = -1;
  pid_t manager_ = -1;
  QString display_;
};

// Whether the x11 tests run under a session (set by their main), and why not.
bool X11SessionRunning();
QString X11SessionMissing();
void SetX11SessionState(bool running, const QString& missing);

// Runs a tool of x11-utils or wmctrl on the session's display; its standard output.
QString RunX11Tool(const QString& program, const QStringList& arguments);

// The window's inner area as the X server has it (place on the screen and size).
QRect ServerInner(const QWidget* window);

// The window's frame as the X server and the window manager have it: the inner area grown by
// the manager's _NET_FRAME_EXTENTS. Null while the window is not shown and framed.
QRect ServerFrame(const QWidget* window);

// Saves a PNG of this part of the screen, window manager's frames included, as
// <screenshot dir>/<name>.png.
void SaveScreenScreenshot(const QRect& area, const QString& name);

// The window manager's _NET_WM_ALLOWED_ACTIONS and _NET_WM_STATE of the window, as atom names.
QStringList AllowedActions(const QWidget* window);
QStringList WindowStates(const QWidget* window);
