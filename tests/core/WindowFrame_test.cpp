#include "platform/WindowFrame.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowFrameTest, CentredFrameTakesHalvesRoundedTowardZero) {
  struct Case {
    QRect area;
    QSize frame;
    QPoint corner;
  };
  const std::vector<Case> cases = {
      {QRect(0, 0, 1280, 1024), QSize(600, 250), QPoint(340, 387)},
      // Odd sizes: each half drops its remainder.
      {QRect(0, 0, 1279, 1023), QSize(361, 175), QPoint(639 - 180, 511 - 87)},
      // A work area beside a panel, on a second screen.
      {QRect(1920, 30, 1280, 994), QSize(261, 175), QPoint(1920 + 640 - 130, 30 + 497 - 87)},
      // Larger than the area: the corner lies off its edge.
      {QRect(0, 0, 800, 600), QSize(1001, 801), QPoint(400 - 500, 300 - 400)},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CentredFrame(c.area, c.frame), QRect(c.corner, c.frame)) << c.frame.width();
}

TEST(WindowFrameTest, InnerAndOuterRectanglesConvertThroughTheMargins) {
  const QMargins margins(1, 20, 1, 5);
  const QRect frame(232, 240, 600, 249);
  EXPECT_EQ(InnerRect(frame, margins), QRect(233, 260, 598, 224));
  EXPECT_EQ(OuterRect(InnerRect(frame, margins), margins), frame);
  EXPECT_EQ(InnerRect(frame, QMargins()), frame);
  EXPECT_EQ(InnerSize(QSize(600, 111), margins), QSize(598, 86));
  EXPECT_EQ(InnerSize(QSize(1, 10), margins), QSize(0, 0));
}

TEST(WindowFrameTest, FrameGeometryKeepsItsMinimumAndPlacesByValue) {
  FrameGeometry frame(QRect(232, 240, 574, 249));
  frame.SetMinimumSize(QSize(600, 111));
  EXPECT_EQ(frame.Rect(), QRect(232, 240, 600, 249));
  frame.SetWidth(300);
  frame.SetHeight(-5);
  EXPECT_EQ(frame.Rect(), QRect(232, 240, 600, 111));
  frame.SetWidth(700);
  frame.SetHeight(300);
  frame.SetTop(-20);
  frame.SetLeft(5000);  // off the screen: kept as given
  EXPECT_EQ(frame.Rect(), QRect(5000, -20, 700, 300));
  frame.SetSize(QSize(600, 250));
  frame.CentreIn(QRect(0, 0, 1280, 1024));
  EXPECT_EQ(frame.Rect(), QRect(340, 387, 600, 250));
}

TEST(WindowFrameTest, TitleBarOnNoScreenComesOntoTheNearest) {
  // A screen with a panel along its top, and one to its right.
  const QList<ScreenArea> screens = {{QRect(0, 0, 1280, 1024), QRect(0, 30, 1280, 994)},
                                     {QRect(1280, 0, 1920, 1080), QRect(1280, 0, 1920, 1080)}};
  const struct {
    QRect frame;
    QPoint corner;
  } cases[] = {
      {QRect(100, 80, 600, 249), QPoint(100, 80)},
      // Title bar on a screen by one row or one column: as stored.
      {QRect(-599, -21, 600, 249), QPoint(-599, -21)},
      {QRect(3199, 1079, 600, 249), QPoint(3199, 1079)},
      // What a Wayland session once stored: the title bar above the screen, the body on it.
      {QRect(-3, -30, 600, 249), QPoint(0, 30)},
      // A monitor since removed, to the right; below the second screen; left of the first.
      {QRect(3500, 200, 600, 249), QPoint(2600, 200)},
      {QRect(1500, 1100, 600, 249), QPoint(1500, 831)},
      {QRect(-900, 500, 600, 249), QPoint(0, 500)},
      // Larger than the nearest screen: its top left corner comes first.
      {QRect(-2000, -900, 1500, 1100), QPoint(0, 30)},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TitleBarOnScreens(c.frame, 22, screens), QRect(c.corner, c.frame.size()))
        << c.frame.x() << ',' << c.frame.y();
  EXPECT_EQ(TitleBarOnScreens(QRect(-3, -30, 600, 249), 0, {}), QRect(-3, -30, 600, 249));
}

}  // namespace
