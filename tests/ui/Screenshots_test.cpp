// Pictures of every window, in English and in German, for a person to compare with the layouts.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>

#include "UiTestSupport.h"
#include "about/AboutBox.h"
#include "app/Application.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "scan/FindForm.h"
#include "settings/AddExceptionForm.h"
#include "settings/AddMaskForm.h"
#include "settings/ListBox.h"
#include "settings/ListFile.h"
#include "settings/OptionsForm.h"
#include "settings/PageControl.h"

namespace {

struct Language {
  const char* suffix;
  const char* file;  // shipped language file, or nullptr for the built-in texts
};

void PrintTo(const Language& l, std::ostream* os) {
  *os << l.suffix;
}

class ScreenshotTest : public FormsTest, public ::testing::WithParamInterface<Language> {
 protected:
  bool CreateFormsInSetUp() const override { return false; }

  void SetUp() override {
    const QString root = env.Root();
    for (const char* dir : {"/c", "/c/tmp", "/c/work", "/d", "/e", "/f"}) QDir().mkpath(root + dir);
    env.WriteFile(root + QStringLiteral("/c/tmp/setup.log"), QByteArray(2048, 'x'));
    env.WriteFile(root + QStringLiteral("/c/work/report.bak"), QByteArray(700, 'x'));
    env.WriteFile(root + QStringLiteral("/c/work/~draft.doc"), QByteArray(90, 'x'));
    env.WriteFile(root + QStringLiteral("/c/work/report.doc"), QByteArray(900, 'x'));
    env.SetEnv("VANTREL_DRIVES", (QStringLiteral("C=fixed:%1/c;D=fixed:%1/d;E=removable:%1/e;"
                                                 "F=ram:%1/f")
                                      .arg(root))
                                     .toUtf8());
    if (const char* file = GetParam().file) {
      QFile shipped(QStringLiteral(VANTREL_SOURCE_DIR "/resources/Language/") +
                    QString::fromLatin1(file));
      ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
      env.WriteFile(QStringLiteral("Language/") + QString::fromLatin1(file), shipped.readAll());
      env.WriteFile(env.RegistryFile(), "{\"SOFTWARE\\\\Vantrel\\\\Options\": {\"Language\": \"" +
                                            QByteArray(file) + "\"}}");
    } else {
      env.WriteFile(QStringLiteral("Language/German.lng"), "");
    }
    env.WriteFile(QStringLiteral("vantrel.ini"), "*.$$$\r\n*.bak\r\n*.old\r\n*.tmp\r\n~*\r\n");
    env.WriteFile(QStringLiteral("exceptions.ini"), "keep.tmp\r\n");
    CreateForms();
  }

  void Shot(QWidget* window, const char* name) {
    window->show();
    QCoreApplication::processEvents();
    SaveScreenshot(window,
                   QString::fromLatin1(name) + u'-' + QString::fromLatin1(GetParam().suffix));
  }
};

TEST_P(ScreenshotTest, EveryWindow) {
  // Drive C ticked, so that both forms of the check box show.
  MainForm->DriveListBox->item(0)->setCheckState(Qt::Checked);
  Shot(MainForm, "main");
  Shot(AboutBox, "about");
  AboutBox->close();
  Shot(OptionsForm, "options-page1");
  for (int page : {1, 2}) {
    OptionsForm->PageControl1->setCurrentIndex(page);
    SaveScreenshot(OptionsForm, QStringLiteral("options-page%1-%2")
                                    .arg(page + 1)
                                    .arg(QString::fromLatin1(GetParam().suffix)));
  }
  AddMaskForm->MaskEdit->setText(QStringLiteral("*.log"));
  Shot(AddMaskForm, "add-mask");
  AddMaskForm->close();
  Shot(AddExceptionForm, "add-exception");
  AddExceptionForm->close();
  OptionsForm->close();

  // A check over drive C, ended.
  FindForm->EventInterval = {};
  FindForm->ClearTempFileList();
  LoadListBox(OptionsForm->MaskBox, kMasksFileName);
  FindForm->StopButton->setEnabled(true);
  FindForm->show();
  QCoreApplication::processEvents();  // the check starts from a queued call
  QElapsedTimer timer;
  timer.start();
  while (!FindForm->CanClose && timer.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(FindForm->StatusBarText(1), GetParam().file ? "Dateien: 2" : "Files: 2");
  FindForm->TempFileModel->SetChecked(0, true);
  SaveScreenshot(FindForm, QStringLiteral("find-") + QString::fromLatin1(GetParam().suffix));
  EXPECT_TRUE(boxes.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(Languages, ScreenshotTest,
                         ::testing::Values(Language{"en", nullptr}, Language{"de", "German.lng"}),
                         [](const auto& info) { return std::string(info.param.suffix); });

}  // namespace
