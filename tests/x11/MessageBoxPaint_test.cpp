// Warning boxes under a real window manager: painted wherever they lie, also over the main
// window while the options window covers it.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "UiTestSupport.h"
#include "X11Session.h"
#include "app/Application.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "platform/GuiHandlers.h"
#include "settings/AddExceptionForm.h"
#include "settings/AddMaskForm.h"
#include "settings/OptionsForm.h"

namespace {

class MessageBoxPaintTest : public FormsTest {
 protected:
  bool CreateFormsInSetUp() const override { return false; }
  void SetUp() override {
    if (!X11SessionRunning())
      GTEST_SKIP() << "no X server with a window manager: " << X11SessionMissing().toStdString();
    FormsTest::SetUp();
  }
};

// Watches for the next message box. As soon as the box is first shown, paints its window black
// the way the server shows a box whose picture got lost; one second later compares its text as
// the screen shows it with the text as the box paints it itself, saves a screenshot, closes it.
class BoxWatch {
 public:
  explicit BoxWatch(const QString& screenshot) {
    QObject::connect(&poll_, &QTimer::timeout, [this, screenshot] { Look(screenshot); });
    poll_.start(10);
  }
  bool found = false;
  bool painted = false;
  QRect frame;

 private:
  void Look(const QString& screenshot) {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->windowHandle()->isExposed()) return;
    if (!since_.isValid()) {
      since_.start();
      PaintBlack(box);
    }
    if (since_.elapsed() < 1000) return;
    poll_.stop();
    found = true;
    frame = ServerFrame(box);
    auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    const QRect area(label->mapToGlobal(QPoint(0, 0)), label->size());
    const QImage shown = QGuiApplication::primaryScreen()
                             ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    painted = shown == label->grab().toImage().convertToFormat(QImage::Format_RGB32);
    SaveScreenScreenshot(frame, screenshot);
    box->accept();
  }
  static void PaintBlack(QWidget* window) {
    xcb_connection_t* connection =
        qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const xcb_window_t id = static_cast<xcb_window_t>(window->winId());
    const xcb_gcontext_t gc = xcb_generate_id(connection);
    const uint32_t black = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->black_pixel;
    xcb_create_gc(connection, gc, id, XCB_GC_FOREGROUND, &black);
    const xcb_rectangle_t all{0, 0, static_cast<uint16_t>(window->width()),
                              static_cast<uint16_t>(window->height())};
    xcb_poly_fill_rectangle(connection, id, gc, 1, &all);
    xcb_free_gc(connection, gc);
    xcb_flush(connection);
  }
  QTimer poll_;
  QElapsedTimer since_;
};

TEST_F(MessageBoxPaintTest, BoxOverTheCoveredMainWindowIsPainted) {
  env.SetEnv("VANTREL_DRIVES", "C=fixed:" + env.Root().toUtf8());
  env.WriteFile(QStringLiteral("vantrel.ini"), "*.tmp\r\n");
  env.WriteFile(QStringLiteral("exceptions.ini"), "");
  env.WriteFile(QStringLiteral("Language/English.lng"), "");
  CreateForms();
  InstallGuiMessageBoxes();
  MainForm->show();
  ASSERT_TRUE(WaitFor([] { return !ServerFrame(MainForm).isNull(); }, 15000));
  OptionsForm->setWindowModality(Qt::ApplicationModal);
  OptionsForm->show();
  ASSERT_TRUE(WaitFor([] { return !ServerFrame(OptionsForm).isNull(); }, 15000));
  struct Case {
    const char* name;
    TAddEntryForm* dialog;
    QLineEdit* edit;
    const char* text;
  };
  for (const Case& c :
       {Case{"exception-empty", AddExceptionForm, AddExceptionForm->ExceptionEdit, ""},
        Case{"mask-duplicate", AddMaskForm, AddMaskForm->MaskEdit, "*.tmp"},
        Case{"mask-empty", AddMaskForm, AddMaskForm->MaskEdit, ""}}) {
    c.dialog->setWindowModality(Qt::ApplicationModal);
    c.dialog->show();
    ASSERT_TRUE(WaitFor([&c] { return !ServerFrame(c.dialog).isNull(); }, 15000));
    c.edit->setText(QString::fromLatin1(c.text));
    BoxWatch box(QStringLiteral("box-") + QString::fromLatin1(c.name));
    QTimer::singleShot(0, c.dialog->OKButton, &QPushButton::click);
    ASSERT_TRUE(WaitFor([&box] { return box.found; }, 20000)) << c.name;
    EXPECT_TRUE(box.painted) << c.name << " at " << ::testing::PrintToString(box.frame);
    c.dialog->hide();
  }
}

}  // namespace
