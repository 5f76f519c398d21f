// The windows that are centred on the screen: their frames, title bar and borders included.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QScreen>
#include <QWidget>

#include "UiTestSupport.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "platform/WindowFrame.h"

namespace {

class WindowPlacementTest : public FormsTest {
 protected:
  void SetUp() override {
    env.WriteFile(QStringLiteral("vantrel.ini"), "*.tmp\r\n");
    env.WriteFile(QStringLiteral("exceptions.ini"), "");
    FormsTest::SetUp();
  }
  static QRect Centred(const QWidget* window) {
    return CentredFrame(window->screen()->availableGeometry(), window->frameGeometry().size());
  }
};

TEST_F(WindowPlacementTest, CentredWindowsCentreTheirFrameAtEveryShowing) {
  // The main window when first shown; the others each time, also after the user moved them.
  MainForm->show();
  QCoreApplication::processEvents();
  EXPECT_EQ(MainForm->frameGeometry(), Centred(MainForm)) << "main";
  for (const auto& [name, window] : CentredDialogs()) {
    for (int showing = 1; showing <= 2; ++showing) {
      window->show();
      QCoreApplication::processEvents();
      EXPECT_EQ(window->frameGeometry(), Centred(window)) << name << ", showing " << showing;
      window->move(window->pos() + QPoint(37, 23));
      window->hide();
    }
  }
}

}  // namespace
