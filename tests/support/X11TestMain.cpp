#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "X11Session.h"

// The x11 tests run on an X server and window manager of their own, started here (not when
// the tests are only listed); without them every test skips and says why.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  X11Session session;
  QString why;
  const bool running = session.Start(&why);
  SetX11SessionState(running, why);
  if (running) {
    qputenv("DISPLAY", session.Display().toUtf8());
    qputenv("QT_QPA_PLATFORM", "xcb");
  } else {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  return RunWindowTests(argc, argv);
}
