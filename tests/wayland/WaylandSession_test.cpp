// The program under a Wayland compositor, which alone places windows; Qt draws the title bars.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include "UiTestSupport.h"
#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "scan/FindForm.h"
#include "settings/Registry.h"

QString WaylandSessionMissing();

namespace {

QStringList g_notes;  // what Qt would have printed on standard error

class WaylandSessionTest : public FormsTest {
 protected:
  bool CreateFormsInSetUp() const override { return false; }
  void SetUp() override {
    if (!WaylandSessionMissing().isEmpty())
      GTEST_SKIP() << "no Wayland compositor: " << WaylandSessionMissing().toStdString();
    SetProgramCommandLine(CommandLine{});
    env.SetEnv("VANTREL_DRIVES", "C=fixed:" + Drive().toUtf8());
    env.WriteFile(Drive() + QStringLiteral("/a.tmp"), "x");
    env.WriteFile(QStringLiteral("vantrel.ini"), "*.tmp\r\n");
    env.WriteFile(QStringLiteral("exceptions.ini"), "");
    env.WriteFile(env.RegistryFile(),
                  "{\"SOFTWARE\\\\Vantrel\\\\Options\": {\"AutoCheckHD\": 1, \"AutoCheckFF\": 1, "
                  "\"FindWndLeft\": 100, \"FindWndTop\": 80, \"FindWndWidth\": 700, "
                  "\"FindWndHeight\": 300}}");
    qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& message) { g_notes << message; });
    CreateForms();
  }
  QString Drive() const { return env.Root() + QStringLiteral("/d"); }
};

TEST_F(WaylandSessionTest, CheckAndCloseKeepTheStoredPlaceAndWriteTheFrameSize) {
  MainForm->show();
  ASSERT_TRUE(WaitFor([] { return MainForm->windowHandle()->isExposed(); }));
  QString found;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&found] {
    if (!FindForm->isVisible() || !FindForm->CanClose) return;
    found = FindForm->StatusBarText(1);
    FindForm->CloseButton->click();
  });
  closer.start(20);
  MainForm->Start1->trigger();  // returns once the find window has closed
  EXPECT_EQ(found, "Files: 1");
  TRegistry registry;
  registry.OpenKey(kOptionsKey, false);
  for (const auto& [name, value] : {std::pair{"FindWndLeft", 100},
                                    {"FindWndTop", 80},
                                    {"FindWndWidth", 700},
                                    {"FindWndHeight", 300},
                                    {"FindWndState", 0}})
    EXPECT_EQ(registry.ReadInteger(QString::fromLatin1(name)), value) << name;
  registry.CloseKey();
  EXPECT_EQ(g_notes.join(u'\n'), "");
}

TEST_F(WaylandSessionTest, FixedWindowsDoNotStayMaximized) {
  std::vector<NamedWindow> windows = CentredDialogs();
  windows.push_back({"main", MainForm});
  for (const auto& [name, window] : windows) {
    window->show();
    QWindow* handle = window->windowHandle();
    ASSERT_TRUE(WaitFor([handle] { return handle->isExposed(); })) << name;
    const QSize fixed = window->maximumSize();
    bool grown = false;  // to the compositor's maximized size, as weston insists
    const auto watch = QObject::connect(handle, &QWindow::widthChanged,
                                        [&](int width) { grown |= width > fixed.width(); });
    // What the maximize button of Qt's title bar asks for.
    handle->setWindowStates(Qt::WindowMaximized);
    EXPECT_TRUE(WaitFor([&] {
      return grown && !window->isMaximized() && window->size() == fixed &&
             handle->maximumSize() == fixed;
    })) << name;
    QObject::disconnect(watch);
    window->hide();
  }
}

TEST_F(WaylandSessionTest, UnattendedRunEndsCleanly) {
  QProcess vantrel;
  vantrel.setWorkingDirectory(env.Work());
  vantrel.start(QStringLiteral(VANTREL_BINARY), {"--dry-run", "/dc"});
  ASSERT_TRUE(vantrel.waitForFinished(60000));
  EXPECT_EQ(vantrel.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(vantrel.exitCode(), 0);
  EXPECT_EQ(QString::fromUtf8(vantrel.readAllStandardOutput()), Drive() + "/a.tmp\n");
  EXPECT_EQ(QString::fromUtf8(vantrel.readAllStandardError()), "");
}

}  // namespace
