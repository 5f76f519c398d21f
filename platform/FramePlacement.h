#pragma once

#include <QMargins>
#include <QObject>
#include <QRect>
#include <functional>

class QWidget;

// The frame margins a top-level window has or will have: its own once a window manager has
// framed it (or the platform knows them from the start); before its first showing, when the
// window manager frames windows only as they appear (X11), those of another framed window of
// the program; none when no window is framed.
QMargins ExpectedFrameMargins(const QWidget* window);

// Whether the platform lets the program learn and choose where its windows lie. A Wayland
// compositor does both itself: there a window's place reads as the corner of the screen.
bool WindowPositionsKnown();

// Puts a top-level window so that its frame lies at the given outer rectangle, for a window
// whose frame has these margins. Where positions are not known, only the size is set.
void PlaceFrame(QWidget* window, const QRect& frame, const QMargins& margins);

// The frame, moved onto the nearest screen when its title bar would lie on none of the present
// screens (TitleBarOnScreens), for a frame with these margins.
QRect FrameOnScreens(const QRect& frame, const QMargins& margins);

// Centres the frame of a window, at its present size, in its screen's available area.
void CentreFrameOnScreen(QWidget* window, const QMargins& margins);

// Places a window's frame when it is shown. A window manager adds its frame only once the window
// appears, so the window is placed first for the frame it is expected to get and, should the
// frame it gets differ (another kind of window, a first window), once more as soon as it is
// first exposed, before the user can act on it.
class FramePlacement : public QObject {
 public:
  // Given the window's frame margins, sets its place (and whatever else depends on them).
  using Rule = std::function<void(const QMargins&)>;

  explicit FramePlacement(QWidget* window);

  // Call from the window's showEvent: the native window exists then but is not mapped yet.
  void Place(Rule rule);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* window_;
  Rule rule_;
  QMargins assumed_;
  bool pending_ = false;
};
