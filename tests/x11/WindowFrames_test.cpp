// The windows' frames under a real X server and window manager, measured as the server has them:
// the places and sizes that the offscreen platform cannot show, since there no manager frames a
// window only as it appears.
// Clicks go through the window system, which drops them on a window a modal one blocks.
#define QTEST_QPA_MOUSE_HANDLING
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include "UiTestSupport.h"
#include "X11Session.h"
#include "app/Application.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "platform/GuiHandlers.h"
#include "platform/WindowFrame.h"
#include "scan/FindForm.h"
#include "settings/AddExceptionForm.h"
#include "settings/AddMaskForm.h"
#include "settings/OptionsForm.h"
#include "settings/Registry.h"

namespace {

class WindowFramesTest : public FormsTest {
 protected:
  bool CreateFormsInSetUp() const override { return false; }
  void SetUp() override {
    if (!X11SessionRunning())
      GTEST_SKIP() << "no X server with a window manager: " << X11SessionMissing().toStdString();
    FormsTest::SetUp();
  }

  // The windows over one empty drive (or the one named), with these options values.
  static void Start(TestEnv& env, const QByteArray& options = {}, const QByteArray& drive = {}) {
    env.SetEnv("VANTREL_DRIVES", "C=fixed:" + (drive.isEmpty() ? env.Root().toUtf8() : drive));
    env.WriteFile(QStringLiteral("vantrel.ini"), "*.tmp\r\n");
    env.WriteFile(QStringLiteral("exceptions.ini"), "");
    env.WriteFile(env.RegistryFile(),
                  "{\"SOFTWARE\\\\Vantrel\\\\Options\": {\"AutoCheckHD\": 0" + options + "}}");
    CreateForms();
  }

  // Shows the main window and waits until the window manager has framed it.
  static void ShowMainWindow() {
    MainForm->show();
    ASSERT_TRUE(WaitFor([] { return !ServerFrame(MainForm).isNull(); }, 15000));
  }

  // Waits until the window's frame, as the server has it, is expected(frame); returns it.
  static QRect SettledFrame(const QWidget* window, const std::function<QRect(QRect)>& expected) {
    QRect frame;
    WaitFor(
        [&] {
          frame = ServerFrame(window);
          return !frame.isNull() && frame == expected(frame);
        },
        5000);
    return frame;
  }

  // Paints the window black behind Qt's back.
  static void PaintBlack(QWidget* window) {
    xcb_connection_t* connection =
        qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const auto id = static_cast<xcb_window_t>(window->winId());
    const xcb_gcontext_t gc = xcb_generate_id(connection);
    const uint32_t black = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->black_pixel;
    xcb_create_gc(connection, gc, id, XCB_GC_FOREGROUND, &black);
    const xcb_rectangle_t all{0, 0, static_cast<uint16_t>(window->width()),
                              static_cast<uint16_t>(window->height())};
    xcb_poly_fill_rectangle(connection, id, gc, 1, &all);
    xcb_free_gc(connection, gc);
    xcb_flush(connection);
  }

  static QRect CentredOnScreen(const QWidget* window, const QRect& frame) {
    return CentredFrame(window->screen()->availableGeometry(), frame.size());
  }

  // Waits until the window manager has handled every request sent to it before this call: it
  // handles a window's requests in order, and this last one it always grants.
  static void SyncWithWindowManager(const QWidget* window) {
    RunX11Tool(QStringLiteral("wmctrl"),
               {"-i", "-r", QString::number(window->winId()), "-b", "add,above"});
    ASSERT_TRUE(WaitFor(
        [window] { return WindowStates(window).contains(QStringLiteral("_NET_WM_STATE_ABOVE")); },
        5000));
  }
};

TEST_F(WindowFramesTest, MainWindowIsFixedCentredAndCannotBeMaximized) {
  Start(env);
  ShowMainWindow();
  const QRect centred =
      SettledFrame(MainForm, [](QRect f) { return CentredOnScreen(MainForm, f); });
  EXPECT_EQ(centred, CentredOnScreen(MainForm, centred));

  const QStringList actions = AllowedActions(MainForm);
  EXPECT_TRUE(actions.contains(QStringLiteral("_NET_WM_ACTION_MINIMIZE")))
      << actions.join(u' ').toStdString();
  for (const char* refused :
       {"_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT", "_NET_WM_ACTION_RESIZE"})
    EXPECT_FALSE(actions.contains(QString::fromLatin1(refused))) << refused;

  // What a maximize button or a double click on the title asks for.
  RunX11Tool(QStringLiteral("wmctrl"), {"-i", "-r", QString::number(MainForm->winId()), "-b",
                                        "add,maximized_vert,maximized_horz"});
  SyncWithWindowManager(MainForm);
  QCoreApplication::processEvents();
  EXPECT_EQ(ServerFrame(MainForm), centred);
  SaveScreenScreenshot(centred.adjusted(-40, -40, 40, 40), QStringLiteral("main-framed"));
  EXPECT_FALSE(WindowStates(MainForm).contains(QStringLiteral("_NET_WM_STATE_MAXIMIZED_VERT")));
  EXPECT_EQ(MainForm->size(), QSize(259, 136 + MainForm->menuBar()->height()));
}

TEST_F(WindowFramesTest, CentredWindowsOpenCentredOnTheirFrameAtEveryShowing) {
  Start(env);
  ShowMainWindow();
  for (const auto& [name, window] : CentredDialogs()) {
    for (int showing = 1; showing <= 2; ++showing) {
      window->show();
      const QRect frame =
          SettledFrame(window, [window](QRect f) { return CentredOnScreen(window, f); });
      EXPECT_EQ(frame, CentredOnScreen(window, frame)) << name << ", showing " << showing;
      // Framed: a title bar above, so the inner area lies lower than the frame's centre says.
      EXPECT_GT(frame.height(), window->height()) << name;
      window->hide();
      ASSERT_TRUE(WaitFor([window] { return ServerFrame(window).isNull(); }, 5000));
    }
  }
}

struct FindFrameCase {
  const char* name;
  const char* stored;
  QRect frame;  // null: 600 x 250 centred on the screen
};

TEST_F(WindowFramesTest, FindWindowFrameIsTheStoredOuterGeometry) {
  const std::vector<FindFrameCase> cases = {
      {"designed place, widened to the minimum", "", QRect(232, 240, 600, 249)},
      {"stored frame",
       ", \"FindWndLeft\": 100, \"FindWndTop\": 80, \"FindWndWidth\": 700, \"FindWndHeight\": 300",
       QRect(100, 80, 700, 300)},
      {"stored size below the minimum", ", \"FindWndWidth\": 300, \"FindWndHeight\": 50",
       QRect(232, 240, 600, 111)},
      {"closed maximized", ", \"FindWndWidth\": 900, \"FindWndState\": 2", QRect()},
      {"title bar above the screen", ", \"FindWndLeft\": -3, \"FindWndTop\": -30",
       QRect(0, 0, 600, 249)},
      {"title bar partly on the screen", ", \"FindWndLeft\": -100, \"FindWndTop\": -5",
       QRect(-100, -5, 600, 249)},
  };
  for (const FindFrameCase& c : cases) {
    TestEnv local;
    Start(local, c.stored);
    ShowMainWindow();
    FindForm->show();
    const auto expected = [&c](QRect frame) {
      if (!c.frame.isNull()) return c.frame;
      const QRect screen = QGuiApplication::primaryScreen()->geometry();
      return frame.size() == QSize(600, 250) ? CentredFrame(screen, frame.size()) : QRect();
    };
    const QRect frame = SettledFrame(FindForm, expected);
    EXPECT_EQ(frame, expected(frame)) << c.name;
    ASSERT_TRUE(WaitFor([] { return FindForm->CanClose; }));
    DestroyForms();
  }
}

TEST_F(WindowFramesTest, FindWindowKeepsItsMinimumFrameAndWritesItsFrame) {
  Start(env, ", \"FindWndLeft\": 150, \"FindWndTop\": 120");
  ShowMainWindow();
  FindForm->show();
  ASSERT_TRUE(WaitFor([] { return FindForm->CanClose; }));
  const QRect opened = SettledFrame(FindForm, [](QRect) { return QRect(150, 120, 600, 249); });
  EXPECT_EQ(opened, QRect(150, 120, 600, 249));
  SaveScreenScreenshot(opened.adjusted(-20, -20, 20, 20), QStringLiteral("find-framed"));
  const QString id = QString::number(FindForm->winId());

  // A corner dragged inwards as far as it goes: the window manager keeps the least size.
  RunX11Tool(QStringLiteral("wmctrl"), {"-i", "-r", id, "-e", "0,-1,-1,10,10"});
  EXPECT_EQ(SettledFrame(FindForm, [](QRect) { return QRect(150, 120, 600, 111); }),
            QRect(150, 120, 600, 111));

  // Moved and resized by the user, then closed: the values are the frame's.
  RunX11Tool(QStringLiteral("wmctrl"), {"-i", "-r", id, "-e", "0,300,200,700,400"});
  ASSERT_TRUE(WaitFor([] { return ServerInner(FindForm) == QRect(300, 200, 700, 400); }, 5000));
  const QRect moved = ServerFrame(FindForm);
  ASSERT_TRUE(WaitFor([] { return FindForm->geometry() == QRect(300, 200, 700, 400); }, 5000));
  FindForm->close();
  ASSERT_FALSE(FindForm->isVisible());
  TRegistry registry;
  registry.OpenKey(kOptionsKey, false);
  EXPECT_EQ(QRect(registry.ReadInteger(QStringLiteral("FindWndLeft")),
                  registry.ReadInteger(QStringLiteral("FindWndTop")),
                  registry.ReadInteger(QStringLiteral("FindWndWidth")),
                  registry.ReadInteger(QStringLiteral("FindWndHeight"))),
            moved);
  registry.CloseKey();

  // The next start puts the frame back where it was.
  DestroyForms();
  CreateForms();
  ShowMainWindow();
  FindForm->show();
  EXPECT_EQ(SettledFrame(FindForm, [&moved](QRect) { return moved; }), moved);
  ASSERT_TRUE(WaitFor([] { return FindForm->CanClose; }));
}

// Shows a warning box of an add dialog over the main window while the options window covers
// that one. As soon as the box appears, its window is painted black (what the screen shows of a
// box whose picture got lost); a second later its text must be on the screen as the box paints
// it itself.
TEST_F(WindowFramesTest, WarningBoxesOverTheCoveredMainWindowArePainted) {
  env.WriteFile(QStringLiteral("Language/English.lng"), "");
  Start(env);
  InstallGuiMessageBoxes();
  ShowMainWindow();
  for (QWidget* window :
       {static_cast<QWidget*>(OptionsForm), static_cast<QWidget*>(AddExceptionForm),
        static_cast<QWidget*>(AddMaskForm)}) {
    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    ASSERT_TRUE(WaitFor([window] { return !ServerFrame(window).isNull(); }, 15000));
  }
  struct Case {
    const char* name;
    TAddEntryForm* dialog;
    const char* text;
  };
  for (const Case& c : {Case{"exception-empty", AddExceptionForm, ""},
                        Case{"mask-duplicate", AddMaskForm, "*.tmp"}}) {
    c.dialog->raise();
    c.dialog->findChild<QLineEdit*>()->setText(QString::fromLatin1(c.text));
    bool painted = false;
    QElapsedTimer shown;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->windowHandle()->isExposed()) return;
      if (!shown.isValid()) {
        shown.start();
        PaintBlack(box);
      }
      if (shown.elapsed() < 1000) return;
      poll.stop();
      auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
      const QRect area(label->mapToGlobal(QPoint(0, 0)), label->size());
      const QImage screen = QGuiApplication::primaryScreen()
                                ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                                .toImage();
      painted = screen.convertToFormat(QImage::Format_RGB32) ==
                label->grab().toImage().convertToFormat(QImage::Format_RGB32);
      SaveScreenScreenshot(ServerFrame(box), QStringLiteral("box-") + c.name);
      box->accept();
    });
    poll.start(10);
    QTimer::singleShot(0, c.dialog->OKButton, &QPushButton::click);
    ASSERT_TRUE(WaitFor([&shown, &poll] { return shown.isValid() && !poll.isActive(); }, 20000));
    EXPECT_TRUE(painted) << c.name;
  }
}

// The missing drive's warning holds the check until its OK, while the find window takes Stop.
TEST_F(WindowFramesTest, FindWindowTakesStopWhileTheWarningWaits) {
  Start(env, ", \"AutoCheckHD\": 1", env.Root().toUtf8() + "/missing");
  InstallGuiMessageBoxes();
  ShowMainWindow();
  bool stopTaken = false;
  bool boxSeen = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(window);
      if (box == nullptr || !box->isVisible() || !box->windowHandle()->isExposed()) continue;
      boxSeen = true;
      QTest::mouseClick(FindForm->StopButton, Qt::LeftButton);
      stopTaken = FindForm->StopRequested;
      box->accept();
      return;
    }
    if (boxSeen && FindForm->CloseButton->isEnabled()) {
      poll.stop();
      FindForm->CloseButton->click();
    }
  });
  poll.start(10);
  QTimer::singleShot(0, MainForm->Start1, &QAction::trigger);
  ASSERT_TRUE(WaitFor([&poll] { return !poll.isActive(); }, 20000));
  EXPECT_TRUE(stopTaken);
}

}  // namespace
