#include <gtest/gtest.h>

#include <QApplication>

#include "WaylandSession.h"

namespace {
QString g_missing;
}

QString WaylandSessionMissing() {
  return g_missing;
}

// The wayland tests run their windows under a weston of their own, started here (not when the
// tests are only listed); without it every test skips and says why.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  WaylandSession session;
  if (session.Start(&g_missing)) {
    qputenv("XDG_RUNTIME_DIR", session.RuntimeDir().toUtf8());
    qputenv("WAYLAND_DISPLAY", session.Display().toUtf8());
    qputenv("QT_QPA_PLATFORM", "wayland");
    qunsetenv("DISPLAY");
    // A headless weston has no seat, and Qt 6.4's Wayland text input then crashes drawing the
    // cursor of a line edit; the plain input context does without a seat.
    qputenv("QT_IM_MODULE", "none");
  } else {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vantrel"));
  return RUN_ALL_TESTS();
}
