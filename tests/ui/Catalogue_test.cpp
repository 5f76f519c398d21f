// Every row of the string table reaches the screen: with a language file that translates every
// key, every text of every window changes, composed with the program's own punctuation; with no
// language file, every text is its English default.
#include "i18n/Catalogue.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <map>

#include "../core/ScanTestSupport.h"
#include "UiTestSupport.h"
#include "about/AboutBox.h"
#include "app/Application.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "scan/FindForm.h"
#include "scan/ResultList.h"
#include "settings/AddExceptionForm.h"
#include "settings/AddMaskForm.h"
#include "settings/ListBox.h"
#include "settings/ListFile.h"
#include "settings/OptionsForm.h"
#include "settings/PageControl.h"

namespace {

// Where each row is shown, and how the program composes it ("%1" is the looked-up text).
const std::map<QString, QString> kCompositions = {
    {"About_Version", "%1 1.5.0.42"},
    {"Exceptions_Label", "%1:"},
    {"Exceptions_YouMust", "%1."},
    {"Find_Present", "%1!"},
    {"Find_Present2", "%1!"},
    {"Main_DriveLabel", "%1:"},
    {"Main_Fixed", "%1 C:"},
    {"Main_Removable", "%1 E:"},
    {"Main_RAM", "%1 F:"},
    {"Main_Remote", "%1 G:"},
    {"Masks_Label", "%1:"},
    {"Masks_YouMust", "%1."},
    {"Options_Bar1Title", " %1 "},
    {"Options_Bar3Title", " %1 "},
    {"Options_LanguageTitle", "%1:"},
    {"Options_TotalMasks", "%1: 2"},
    {"Options_TotalMasks_AddMask", "%1: 2"},
    {"Options_Exceptions", "%1: 1"},
    {"Options_TotalExceptions", "%1: 1"},
    {"Find_Scanning", " %1: ["},
    {"Find_Cleaning", " %1: [Temporary Internet Files]"},
    {"Find_NoDisk", "%1!"},
    {"Find_Files", "%1: "},
    {"Find_TotalSize", "%1: "},
    {"Find_Finished", " %1"},
    {"Find_CannotDel", "(%1)"},
};

// The translation of a row in the test's language file: unmistakable, and different for every
// section and key.
QString Translated(const CatalogueText& row) {
  return QStringLiteral("Q%1.%2").arg(row.section.toString(), row.key.toString());
}

QByteArray TranslatingEveryKey() {
  QByteArray file;
  QString section;
  for (const CatalogueText& row : Catalogue()) {
    if (row.section != section) {
      section = row.section.toString();
      file += "[" + section.toUtf8() + "]\r\n";
    }
    file += row.key.toString().toUtf8() + "=" + Translated(row).toUtf8() + "\r\n";
  }
  return file;
}

class CatalogueTest : public FormsTest {
 protected:
  bool CreateFormsInSetUp() const override { return false; }

  // One drive of each kind: C holds two findings, one of them undeletable; E is missing, for
  // the disk warning. The browser cache has one file for the cleaning.
  void SetUp() override {
    root = Bytes(env.Root());
    for (const char* dir :
         {"/c", "/c/locked", "/f", "/g", "/cache/mozilla", "/cache/mozilla/firefox"})
      MakeDir(root + dir);
    MakeFile(root + "/c/a.tmp", "0123456789");
    MakeFile(root + "/c/locked/b.tmp", "01234");
    MakeFile(root + "/cache/mozilla/firefox/entry", "x");
    env.SetEnv("VANTREL_DRIVES",
               QByteArray::fromStdString("C=fixed:" + root + "/c;E=removable:" + root +
                                         "/e;F=ram:" + root + "/f;G=remote:" + root + "/g"));
    env.WriteFile(QStringLiteral("vantrel.ini"), "*.tmp\r\n");
    env.WriteFile(QStringLiteral("exceptions.ini"), "");
    FormsTest::SetUp();
  }
  void TearDown() override {
    ::chmod((root + "/c/locked").c_str(), 0755);
    FormsTest::TearDown();
  }

  std::string root;

  static void Show(QWidget* window) {
    window->show();
    QCoreApplication::processEvents();
  }

  const MessageBoxCall* LastBox() const {
    return boxes.calls.empty() ? nullptr : &boxes.calls.back();
  }

  // Opens every window, provokes every message, and notes what each row turned into.
  std::map<QString, QString> ShownTexts() {
    std::map<QString, QString> shown;
    CreateForms();

    Show(MainForm);
    shown["Main_DriveLabel"] = MainForm->DriveLabel->text();
    shown["Main_Start"] = MainForm->Start1->text();
    shown["Main_Exit"] = MainForm->Exit1->text();
    shown["Main_Options"] = MainForm->Options1->text();
    shown["Main_Action"] = MainForm->Action1->title();
    shown["Main_Help"] = MainForm->Help1->text();
    shown["Main_About"] = MainForm->About1->text();
    const char* kinds[] = {"Main_Fixed", "Main_Removable", "Main_RAM", "Main_Remote"};
    for (int i = 0; i < MainForm->DriveListBox->count() && i < 4; ++i)
      shown[kinds[i]] = MainForm->DriveListBox->item(i)->text();

    Show(AboutBox);
    shown["About_Title"] = AboutBox->windowTitle();
    shown["About_OKButton"] = AboutBox->OKButton->text();
    shown["About_OKButtonHint"] = AboutBox->OKButton->toolTip();
    shown["About_HomePageHint"] = AboutBox->HomePage->toolTip();
    shown["About_Version"] = AboutBox->Version->text();

    Show(OptionsForm);
    shown["Options_Title"] = OptionsForm->windowTitle();
    shown["Options_Bar1Title"] = OptionsForm->GroupBox1->title();
    shown["Options_Bar3Title"] = OptionsForm->GroupBox3->title();
    shown["Options_AddHint"] = OptionsForm->AddButton->toolTip();
    shown["Options_RemoveHint"] = OptionsForm->RemoveButton->toolTip();
    shown["Options_AddExHint"] = OptionsForm->AddExButton->toolTip();
    shown["Options_RemoveExHint"] = OptionsForm->RemoveExButton->toolTip();
    shown["Options_OKHint"] = OptionsForm->OKButton->toolTip();
    shown["Options_DrivesAutoCheck"] = OptionsForm->DrivesCheckBox->text();
    shown["Options_FoundedAutoCheck"] = OptionsForm->FoundedCheckBox->text();
    shown["Options_LanguageTitle"] = OptionsForm->LangLabel->text();
    shown["Options_Masks"] = OptionsForm->PageControl1->tabText(0);
    shown["Options_Properties"] = OptionsForm->PageControl1->tabText(1);
    shown["Options_Language"] = OptionsForm->PageControl1->tabText(2);
    shown["Options_ITemp"] = OptionsForm->ITempCheckBox->text();
    shown["Options_Temp"] = OptionsForm->TempCheckBox->text();
    shown["Options_UseTrash"] = OptionsForm->TrashCheckBox->text();

    Show(AddMaskForm);
    shown["Masks_Title"] = AddMaskForm->windowTitle();
    shown["Masks_Label"] = AddMaskForm->Label1->text();
    shown["Masks_OK"] = AddMaskForm->OKButton->text();
    shown["Masks_Cancel"] = AddMaskForm->CancelButton->text();
    shown["Masks_FieldHint"] = AddMaskForm->MaskEdit->toolTip();
    shown["Masks_OKHint"] = AddMaskForm->OKButton->toolTip();
    shown["Masks_CancelHint"] = AddMaskForm->CancelButton->toolTip();
    AddMaskForm->MaskEdit->clear();
    AddMaskForm->OKButton->click();
    if (LastBox()) {
      shown["Masks_Attention"] = LastBox()->title;
      shown["Masks_YouMust"] = LastBox()->text;
    }
    AddMaskForm->MaskEdit->setText(QStringLiteral("*.log"));
    AddMaskForm->OKButton->click();
    shown["Options_TotalMasks_AddMask"] = OptionsForm->StatusPanel->text();
    Show(AddMaskForm);
    AddMaskForm->OKButton->click();
    if (LastBox()) shown["Find_Present"] = LastBox()->text;
    AddMaskForm->CancelButton->click();

    Show(AddExceptionForm);
    shown["Exceptions_Title"] = AddExceptionForm->windowTitle();
    shown["Exceptions_Label"] = AddExceptionForm->Label1->text();
    shown["Exceptions_OK"] = AddExceptionForm->OKButton->text();
    shown["Exceptions_Cancel"] = AddExceptionForm->CancelButton->text();
    shown["Exceptions_FieldHint"] = AddExceptionForm->ExceptionEdit->toolTip();
    shown["Exceptions_OKHint"] = AddExceptionForm->OKButton->toolTip();
    shown["Exceptions_CancelHint"] = AddExceptionForm->CancelButton->toolTip();
    AddExceptionForm->ExceptionEdit->clear();
    AddExceptionForm->OKButton->click();
    if (LastBox()) {
      shown["Exceptions_Attention"] = LastBox()->title;
      shown["Exceptions_YouMust"] = LastBox()->text;
    }
    AddExceptionForm->ExceptionEdit->setText(QStringLiteral("keep.tmp"));
    AddExceptionForm->OKButton->click();
    shown["Options_TotalExceptions"] = OptionsForm->StatusPanel2->text();
    Show(AddExceptionForm);
    AddExceptionForm->OKButton->click();
    if (LastBox()) {
      shown["Exception_Attention"] = LastBox()->title;
      shown["Find_Present2"] = LastBox()->text;
    }
    AddExceptionForm->CancelButton->click();

    OptionsForm->UpdateTotals();
    shown["Options_TotalMasks"] = OptionsForm->StatusPanel->text();
    shown["Options_Exceptions"] = OptionsForm->StatusPanel2->text();

    FindTexts(shown);
    return shown;
  }

  // A check over drives C and E with the cache cleaning, then a deletion that fails once.
  void FindTexts(std::map<QString, QString>& shown) {
    TRegistry registry;
    registry.OpenKey(kOptionsKey, true);
    registry.WriteInteger(QStringLiteral("CheckITemp"), 1);
    registry.CloseKey();
    MainForm->DriveListBox->item(0)->setCheckState(Qt::Checked);
    MainForm->DriveListBox->item(1)->setCheckState(Qt::Checked);

    // What the status caption says while the walks run.
    QTimer observer;
    observer.setInterval(0);
    QObject::connect(&observer, &QTimer::timeout, &observer, [&shown] {
      const QString caption = FindForm->StatusCaption();
      const qsizetype walk = caption.indexOf(QStringLiteral(": ["));
      if (walk < 0) return;
      if (caption.endsWith(QStringLiteral("[Temporary Internet Files]")))
        shown["Find_Cleaning"] = caption;
      else
        shown["Find_Scanning"] = caption.left(walk + 3);
    });
    observer.start();

    const size_t boxesBefore = boxes.calls.size();
    FindForm->EventInterval = {};
    FindForm->ClearTempFileList();
    LoadListBox(OptionsForm->MaskBox, kMasksFileName);
    FindForm->StopButton->setEnabled(true);
    // The helper the check starts, which also deletes, takes the reduced rights with it.
    PermissionsBite bite;
    Show(FindForm);
    ASSERT_TRUE(WaitFor([] { return FindForm->CanClose; }));
    observer.stop();

    shown["Find_Title"] = FindForm->windowTitle();
    shown["Find_Delete"] = FindForm->DeleteButton->text();
    shown["Find_Stop"] = FindForm->StopButton->text();
    shown["Find_Close"] = FindForm->CloseButton->text();
    shown["Find_DeleteHint"] = FindForm->DeleteButton->statusTip();
    shown["Find_StopHint"] = FindForm->StopButton->statusTip();
    shown["Find_CloseHint"] = FindForm->CloseButton->statusTip();
    shown["Find_SelAllHint"] = FindForm->SelectAllButton->statusTip();
    shown["Find_UnSelHint"] = FindForm->UnselectButton->statusTip();
    shown["Find_InvertHint"] = FindForm->InvertSelectionButton->statusTip();
    shown["Find_Finished"] = FindForm->StatusCaption();
    // The numbers are the walkers' business; the label and its ": " are this table's.
    for (const auto& [name, panel] : {std::pair{"Find_Files", 1}, std::pair{"Find_TotalSize", 2}}) {
      const QString text = FindForm->StatusBarText(panel);
      shown[name] = text.left(text.indexOf(QStringLiteral(": ")) + 2);
    }
    if (boxes.calls.size() > boxesBefore) shown["Find_NoDisk"] = boxes.calls[boxesBefore].text;

    ::chmod((root + "/c/locked").c_str(), 0555);
    FindForm->SelectAllButton->click();
    FindForm->DeleteButton->click();
    shown["Find_Deleted"] = FindForm->StatusCaption();
    const QStringList entries = Texts(*FindForm->TempFileModel);
    if (entries.size() == 1) shown["Find_CannotDel"] = entries[0].mid(entries[0].indexOf(u'('));
  }

  // Compares what was shown with the row's text as composed; every row must have been seen.
  static void ExpectEveryRow(const std::map<QString, QString>& shown,
                             const std::function<QString(const CatalogueText&)>& text) {
    for (const CatalogueText& row : Catalogue()) {
      const QString name = row.name.toString();
      if (name == QStringLiteral("Find_Of")) continue;           // part of the deletion summary
      if (name == QStringLiteral("Find_HelperEnded")) continue;  // the helper tests' box
      const auto it = shown.find(name);
      ASSERT_NE(it, shown.end()) << "row " << name.toStdString() << " is shown nowhere";
      const auto composition = kCompositions.find(name);
      QString pattern =
          composition == kCompositions.end() ? QStringLiteral("%1") : composition->second;
      if (name == QStringLiteral("Find_Deleted"))
        pattern = QStringLiteral(" %1 1 ") + text(Txt::Find_Of) + QStringLiteral(" 2");
      EXPECT_EQ(it->second.toStdString(), pattern.arg(text(row)).toStdString())
          << "row " << name.toStdString();
    }
  }
};

TEST_F(CatalogueTest, WithoutLanguageFileEveryTextIsItsDefault) {
  env.WriteFile(QStringLiteral("Language/Other.lng"), "");
  const std::map<QString, QString> shown = ShownTexts();
  ExpectEveryRow(shown, [](const CatalogueText& row) { return row.defaultText.toString(); });
}

TEST_F(CatalogueTest, LanguageFileTranslatingEveryKeyChangesEveryText) {
  env.WriteFile(QStringLiteral("Language/Every.lng"), TranslatingEveryKey());
  env.WriteFile(env.RegistryFile(),
                "{\"SOFTWARE\\\\Vantrel\\\\Options\": {\"Language\": \"Every.lng\"}}");
  const std::map<QString, QString> shown = ShownTexts();
  // Both readers of TotalMasks show the one translation.
  ExpectEveryRow(shown, Translated);
}

}  // namespace
