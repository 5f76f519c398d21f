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

}  // namespace
