// Pictures of every window, in English and in German, for a person to compare with the layouts.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>

#include "UiTestSupport.h"
#include "about/AboutBox.h"
#include "app/Application.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "settings/AddExceptionForm.h"
#include "settings/AddMaskForm.h"
#include "settings/OptionsForm.h"

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
    env.SetEnv("VANTREL_DRIVES", "C=fixed:/;D=fixed:/home;E=removable:/media/stick;F=ram:/dev/shm");
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
  EXPECT_TRUE(boxes.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(Languages, ScreenshotTest,
                         ::testing::Values(Language{"en", nullptr}, Language{"de", "German.lng"}),
                         [](const auto& info) { return std::string(info.param.suffix); });

}  // namespace
