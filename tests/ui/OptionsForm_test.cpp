#include "settings/OptionsForm.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QTest>
#include <QToolButton>
#include <optional>

#include "UiTestSupport.h"
#include "app/Application.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "settings/AddExceptionForm.h"
#include "settings/AddMaskForm.h"
#include "settings/ListBox.h"
#include "settings/PageControl.h"

namespace {

QByteArray Options(const QByteArray& members) {
  return "{\"SOFTWARE\\\\Vantrel\\\\Options\": {" + members + "}}";
}

// The stored integer, or nothing when the value is missing.
std::optional<int> StoredInteger(const char* name) {
  TRegistry registry;
  registry.OpenKey(kOptionsKey, true);
  if (!registry.ValueExists(QString::fromLatin1(name))) return std::nullopt;
  return registry.ReadInteger(QString::fromLatin1(name));
}

std::optional<QString> StoredString(const char* name) {
  TRegistry registry;
  registry.OpenKey(kOptionsKey, true);
  if (!registry.ValueExists(QString::fromLatin1(name))) return std::nullopt;
  return registry.ReadString(QString::fromLatin1(name));
}

class OptionsFormTest : public FormsTest {
 protected:
  bool CreateFormsInSetUp() const override { return false; }

  void Start(const QByteArray& registry = {}) {
    env.SetEnv("VANTREL_DRIVES", "C=fixed:/");
    if (!registry.isEmpty()) env.WriteFile(env.RegistryFile(), registry);
    CreateForms();
  }

  // Shows the window the way the main window does (minus the nested loop) and lets its
  // activation run.
  void Open() {
    OptionsForm->show();
    QCoreApplication::processEvents();
  }

  static QStringList Masks() { return ListBoxEntries(OptionsForm->MaskBox); }
  static QStringList Exceptions() { return ListBoxEntries(OptionsForm->ExceptionsBox); }

  void UseLanguageDirectory() { QDir(env.Work()).mkpath(QStringLiteral("Language")); }
};

TEST_F(OptionsFormTest, FirstRunShowsEmptyListsAndEnglishTexts) {
  Start();
  Open();

  ASSERT_EQ(boxes.calls.size(), 1u);
  EXPECT_EQ(boxes.calls[0].title, "Attention");
  EXPECT_EQ(boxes.calls[0].text, "No language files");
  EXPECT_EQ(boxes.calls[0].icon, MessageIcon::Warning);

  EXPECT_FALSE(OptionsForm->DrivesCheckBox->isChecked());
  EXPECT_FALSE(OptionsForm->FoundedCheckBox->isChecked());
  EXPECT_FALSE(OptionsForm->TempCheckBox->isChecked());
  EXPECT_FALSE(OptionsForm->ITempCheckBox->isChecked());
  EXPECT_FALSE(OptionsForm->TrashCheckBox->isChecked());
  EXPECT_EQ(OptionsForm->MaskBox->count(), 0);
  EXPECT_EQ(OptionsForm->ExceptionsBox->count(), 0);
  EXPECT_EQ(OptionsForm->StatusPanel->text(), "Total mask: 0");
  EXPECT_EQ(OptionsForm->StatusPanel2->text(), "Exceptions: 0");
  EXPECT_EQ(OptionsForm->LangComboBox->count(), 0);
  EXPECT_EQ(OptionsForm->LangComboBox->currentText(), "");
  EXPECT_FALSE(OptionsForm->RemoveButton->isEnabled());
  EXPECT_FALSE(OptionsForm->RemoveExButton->isEnabled());
  EXPECT_EQ(OptionsForm->PageControl1->currentIndex(), 0);
  EXPECT_EQ(OptionsForm->OKButton->geometry(), QRect(322, 3, 35, 33));

  EXPECT_EQ(OptionsForm->windowTitle(), "Options");
  EXPECT_EQ(OptionsForm->GroupBox1->title(), " Etensions of files ");
  EXPECT_EQ(OptionsForm->GroupBox3->title(), " Exceptions of files ");
  EXPECT_EQ(OptionsForm->AddButton->toolTip(), "Add new mask");
  EXPECT_EQ(OptionsForm->RemoveButton->toolTip(), "Remove mask");
  EXPECT_EQ(OptionsForm->AddExButton->toolTip(), "Add new exception");
  EXPECT_EQ(OptionsForm->RemoveExButton->toolTip(), "Remove exception");
  EXPECT_EQ(OptionsForm->OKButton->toolTip(), "Apply changs");
  EXPECT_EQ(OptionsForm->DrivesCheckBox->text(), "Automaticly select all hard drives at startup");
  EXPECT_EQ(OptionsForm->FoundedCheckBox->text(), "Automaticly select all founded files");
  EXPECT_EQ(OptionsForm->TempCheckBox->text(), "Check Temporary Folders");
  EXPECT_EQ(OptionsForm->ITempCheckBox->text(), "Check Internet Temporary Folder");
  EXPECT_EQ(OptionsForm->TrashCheckBox->text(), "Move deleted files to the trash");
  EXPECT_EQ(OptionsForm->LangLabel->text(), "Language:");
  EXPECT_EQ(OptionsForm->PageControl1->tabText(0), "Masks");
  EXPECT_EQ(OptionsForm->PageControl1->tabText(1), "Properties");
  EXPECT_EQ(OptionsForm->PageControl1->tabText(2), "Language");

  // Nothing of the switches is stored by merely opening the window.
  EXPECT_EQ(StoredInteger("AutoCheckFF"), std::nullopt);
  EXPECT_EQ(StoredInteger("CheckTemp"), std::nullopt);
  EXPECT_EQ(StoredInteger("CheckITemp"), std::nullopt);
  EXPECT_EQ(StoredInteger("UseTrash"), std::nullopt);
}

TEST_F(OptionsFormTest, EachSwitchWritesOnlyItsOwnValueAtOnce) {
  struct Case {
    QCheckBox* TOptionsForm::*box;
    const char* value;
  };
  const Case cases[] = {{&TOptionsForm::DrivesCheckBox, "AutoCheckHD"},
                        {&TOptionsForm::FoundedCheckBox, "AutoCheckFF"},
                        {&TOptionsForm::TempCheckBox, "CheckTemp"},
                        {&TOptionsForm::ITempCheckBox, "CheckITemp"},
                        {&TOptionsForm::TrashCheckBox, "UseTrash"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    TestEnv caseEnv;
    env.SetEnv("VANTREL_DRIVES", "C=fixed:/");
    CreateForms();
    Open();
    const std::optional<int> autoCheckHD = StoredInteger("AutoCheckHD");  // the main window's 0

    QTest::mouseClick(OptionsForm->*c.box, Qt::LeftButton);
    EXPECT_EQ(StoredInteger(c.value), 1);
    for (const Case& other : cases) {
      if (&other == &c) continue;
      EXPECT_EQ(StoredInteger(other.value),
                std::string(other.value) == "AutoCheckHD" ? autoCheckHD : std::nullopt)
          << other.value;
    }
    QTest::mouseClick(OptionsForm->*c.box, Qt::LeftButton);
    EXPECT_EQ(StoredInteger(c.value), 0);
    DestroyForms();
  }
}

TEST_F(OptionsFormTest, SwitchesFollowTheStoreOnlyForZeroAndOne) {
  Start(Options("\"AutoCheckHD\": 1, \"AutoCheckFF\": 2, \"CheckTemp\": 0, \"UseTrash\": 7"));
  for (QCheckBox* box :
       {OptionsForm->FoundedCheckBox, OptionsForm->TempCheckBox, OptionsForm->TrashCheckBox}) {
    const QSignalBlocker quiet(box);  // ticks left from an earlier opening, not new clicks
    box->setChecked(true);
  }
  Open();

  EXPECT_TRUE(OptionsForm->DrivesCheckBox->isChecked());
  EXPECT_TRUE(OptionsForm->FoundedCheckBox->isChecked());  // 2: left as it was
  EXPECT_FALSE(OptionsForm->TempCheckBox->isChecked());
  EXPECT_FALSE(OptionsForm->ITempCheckBox->isChecked());  // missing: left as it was
  EXPECT_TRUE(OptionsForm->TrashCheckBox->isChecked());   // 7: left as it was
  EXPECT_EQ(StoredInteger("AutoCheckHD"), 1);
  EXPECT_EQ(StoredInteger("AutoCheckFF"), 2);
  EXPECT_EQ(StoredInteger("CheckTemp"), 0);
  EXPECT_EQ(StoredInteger("CheckITemp"), std::nullopt);
  EXPECT_EQ(StoredInteger("UseTrash"), 7);
}

// The fifth box sits under the other four and comes last from the keyboard; a stored 1 ticks
// it at the next opening.
TEST_F(OptionsFormTest, TrashBoxIsFifthOnThePageAndLastInTheKeyboardOrder) {
  Start(Options("\"UseTrash\": 1"));
  Open();
  EXPECT_TRUE(OptionsForm->TrashCheckBox->isChecked());
  EXPECT_EQ(OptionsForm->TrashCheckBox->parentWidget(), OptionsForm->TabSheet2);
  EXPECT_EQ(OptionsForm->TrashCheckBox->pos(), QPoint(8, 104));
  EXPECT_EQ(OptionsForm->TrashCheckBox->size(), QSize(281, 17));
  QStringList order;
  QWidget* widget = OptionsForm->DrivesCheckBox;
  for (int i = 0; i < 5; ++i) {
    order << widget->objectName();
    do {
      widget = widget->nextInFocusChain();
    } while (qobject_cast<QCheckBox*>(widget) == nullptr);
  }
  EXPECT_EQ(order, QStringList({"DrivesCheckBox", "FoundedCheckBox", "TempCheckBox",
                                "ITempCheckBox", "TrashCheckBox"}));
}

TEST_F(OptionsFormTest, SwitchOfTheWrongKindEndsTheActivationThere) {
  Start(Options("\"AutoCheckHD\": 1, \"CheckTemp\": \"1\", \"CheckITemp\": 1"));
  env.WriteFile(QStringLiteral("vantrel.ini"), "*.tmp\r\n");
  env.WriteFile(QStringLiteral("exceptions.ini"), "keep.tmp\r\n");
  UseLanguageDirectory();
  OptionsForm->PageControl1->setCurrentIndex(2);
  OptionsForm->RemoveButton->setEnabled(true);
  OptionsForm->StatusPanel->setText(QStringLiteral("before"));
  Open();

  ASSERT_EQ(boxes.calls.size(), 1u);
  EXPECT_EQ(boxes.calls[0].title, "Vantrel");
  // "'" sorts before ".", so no full stop is added.
  EXPECT_EQ(boxes.calls[0].text, "Invalid data type for 'CheckTemp'");
  EXPECT_EQ(boxes.calls[0].icon, MessageIcon::Critical);
  // The steps before the failure ran...
  EXPECT_EQ(OptionsForm->windowTitle(), "Options");
  EXPECT_TRUE(OptionsForm->DrivesCheckBox->isChecked());
  // ...the ones after it did not.
  EXPECT_FALSE(OptionsForm->ITempCheckBox->isChecked());
  EXPECT_EQ(OptionsForm->PageControl1->currentIndex(), 2);
  EXPECT_EQ(Masks(), QStringList());
  EXPECT_EQ(Exceptions(), QStringList());
  EXPECT_TRUE(OptionsForm->RemoveButton->isEnabled());
  EXPECT_EQ(OptionsForm->StatusPanel->text(), "before");
  EXPECT_TRUE(OptionsForm->isVisible());
}

TEST_F(OptionsFormTest, LanguageOfTheWrongKindEndsTheActivationBeforeTheTexts) {
  Start(Options("\"Language\": 7"));
  UseLanguageDirectory();
  env.WriteFile(QStringLiteral("vantrel.ini"), "*.tmp\r\n");
  boxes.calls.clear();  // the windows' creation reports it too
  Open();

  ASSERT_EQ(boxes.calls.size(), 1u);
  EXPECT_EQ(boxes.calls[0].title, "Vantrel");
  EXPECT_EQ(boxes.calls[0].text, "Invalid data type for 'Language'");
  EXPECT_EQ(OptionsForm->windowTitle(), "");
  EXPECT_EQ(Masks(), QStringList());
  EXPECT_TRUE(OptionsForm->isVisible());
}

TEST_F(OptionsFormTest, ListsReloadOnlyFromFilesThatExist) {
  Start();
  UseLanguageDirectory();
  env.WriteFile(QStringLiteral("vantrel.ini"), "*.tmp\r\n*.BAK\r\n~*\r\n");
  OptionsForm->ExceptionsBox->addItem(QStringLiteral("unsaved"));
  Open();
  EXPECT_EQ(Masks(), QStringList({"*.BAK", "*.tmp", "~*"}));
  EXPECT_EQ(Exceptions(), QStringList({"unsaved"}));
  EXPECT_EQ(OptionsForm->StatusPanel->text(), "Total mask: 3");
  EXPECT_EQ(OptionsForm->StatusPanel2->text(), "Exceptions: 1");
  EXPECT_TRUE(boxes.calls.empty());
}

TEST_F(OptionsFormTest, RemovesEverySelectedMaskFromTheTop) {
  Start();
  UseLanguageDirectory();
  env.WriteFile(QStringLiteral("vantrel.ini"), "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng\r\n");
  Open();
  EXPECT_FALSE(OptionsForm->RemoveButton->isEnabled());

  QListWidget* box = OptionsForm->MaskBox;
  QTest::mouseClick(box->viewport(), Qt::LeftButton, {},
                    box->visualItemRect(box->item(1)).center());
  QTest::mouseClick(box->viewport(), Qt::LeftButton, Qt::ControlModifier,
                    box->visualItemRect(box->item(3)).center());
  QTest::mouseClick(box->viewport(), Qt::LeftButton, Qt::ControlModifier,
                    box->visualItemRect(box->item(6)).center());
  EXPECT_TRUE(OptionsForm->RemoveButton->isEnabled());

  QTest::mouseClick(OptionsForm->RemoveButton, Qt::LeftButton);
  EXPECT_EQ(Masks(), QStringList({"a", "c", "e", "f"}));
  EXPECT_EQ(OptionsForm->StatusPanel->text(), "Total mask: 4");
  EXPECT_TRUE(OptionsForm->RemoveButton->isEnabled());

  // Nothing selected any more: a second click changes nothing.
  box->clearSelection();
  OptionsForm->RemoveButton->setEnabled(true);
  QTest::mouseClick(OptionsForm->RemoveButton, Qt::LeftButton);
  EXPECT_EQ(Masks(), QStringList({"a", "c", "e", "f"}));
  EXPECT_EQ(env.ReadFile(QStringLiteral("vantrel.ini")), "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng\r\n");
}

TEST_F(OptionsFormTest, KeyboardSelectionEnablesRemoveAndRewritesBothTotals) {
  Start();
  UseLanguageDirectory();
  env.WriteFile(QStringLiteral("exceptions.ini"), "one\r\ntwo\r\n");
  Open();
  OptionsForm->StatusPanel2->setText(QStringLiteral("Total exceptions: 2"));
  OptionsForm->StatusPanel->setText(QStringLiteral("Total masks: 0"));

  OptionsForm->ExceptionsBox->setFocus();
  QTest::keyClick(OptionsForm->ExceptionsBox, Qt::Key_Down);
  EXPECT_TRUE(OptionsForm->RemoveExButton->isEnabled());
  EXPECT_EQ(OptionsForm->StatusPanel->text(), "Total mask: 0");
  EXPECT_EQ(OptionsForm->StatusPanel2->text(), "Exceptions: 2");

  QTest::mouseClick(OptionsForm->RemoveExButton, Qt::LeftButton);
  EXPECT_EQ(Exceptions().size(), 1);
  EXPECT_EQ(OptionsForm->StatusPanel2->text(), "Exceptions: 1");
  // Nothing is selected after a removal: a second click removes nothing.
  QTest::mouseClick(OptionsForm->RemoveExButton, Qt::LeftButton);
  EXPECT_EQ(Exceptions().size(), 1);
}

TEST_F(OptionsFormTest, OkSavesBothListsThenTheLanguageAndRefreshesTheMainWindow) {
  Start();
  env.WriteFile(QStringLiteral("Language/Test.lng"),
                "[Main]\r\nDriveLabel=Laufwerke\r\nStart=Starten\r\nExit=Beenden\r\n"
                "Options=Einstellungen\r\nFixed=Festplatte\r\n");
  Open();
  // The drive map is the process's own; whatever it holds, fixed drives get the new label.
  QStringList entries;
  for (int i = 0; i < MainForm->DriveListBox->count(); ++i)
    entries << MainForm->DriveListBox->item(i)->text().replace(QStringLiteral("Hard Drive "),
                                                               QStringLiteral("Festplatte "));
  ASSERT_TRUE(entries.join(u'|').contains(QStringLiteral("Festplatte ")));
  SetListBoxEntries(OptionsForm->MaskBox,
                    {QStringLiteral("b"), QStringLiteral("A"), QStringLiteral(" lead")});
  SetListBoxEntries(OptionsForm->ExceptionsBox, {QStringLiteral("keep.tmp")});
  EXPECT_EQ(OptionsForm->LangComboBox->count(), 1);
  OptionsForm->LangComboBox->setEditText(QStringLiteral("Test.lng"));

  QTest::mouseClick(OptionsForm->OKButton, Qt::LeftButton);

  EXPECT_TRUE(boxes.calls.empty());
  EXPECT_EQ(env.ReadFile(QStringLiteral("vantrel.ini")), " lead\r\nA\r\nb\r\n");
  EXPECT_EQ(env.ReadFile(QStringLiteral("exceptions.ini")), "keep.tmp\r\n");
  EXPECT_EQ(StoredString("Language"), "Test.lng");
  EXPECT_EQ(OptionsForm->Language.Path(), "Language/Test.lng");
  EXPECT_EQ(MainForm->DriveLabel->text(), "Laufwerke:");
  EXPECT_EQ(MainForm->Start1->text(), "Starten");
  EXPECT_EQ(MainForm->Exit1->text(), "Beenden");
  EXPECT_EQ(MainForm->Options1->text(), "Einstellungen");
  QStringList rebuilt;
  for (int i = 0; i < MainForm->DriveListBox->count(); ++i)
    rebuilt << MainForm->DriveListBox->item(i)->text();
  EXPECT_EQ(rebuilt, entries);
  EXPECT_FALSE(OptionsForm->isVisible());
  EXPECT_EQ(OptionsForm->result(), QDialog::Accepted);

  // The window's own texts change at its next opening; the stored language is preselected.
  Open();
  EXPECT_EQ(OptionsForm->LangComboBox->currentText(), "Test.lng");
}

TEST_F(OptionsFormTest, OkWithAnEmptyLanguageStoresTheEmptyValue) {
  Start(Options("\"Language\": \"Gone.lng\""));
  UseLanguageDirectory();
  Open();
  EXPECT_EQ(OptionsForm->LangComboBox->currentText(), "");
  QTest::mouseClick(OptionsForm->OKButton, Qt::LeftButton);
  EXPECT_EQ(StoredString("Language"), "");
  EXPECT_EQ(env.ReadFile(QStringLiteral("vantrel.ini")), "");
  EXPECT_TRUE(QFile::exists(env.Abs(QStringLiteral("vantrel.ini"))));
  EXPECT_EQ(MainForm->DriveLabel->text(), "Select drives:");
}

TEST_F(OptionsFormTest, CloseBoxWritesNothing) {
  Start();
  UseLanguageDirectory();
  Open();
  OptionsForm->MaskBox->addItem(QStringLiteral("*.tmp"));
  OptionsForm->LangComboBox->setEditText(QStringLiteral("x.lng"));
  OptionsForm->close();

  EXPECT_FALSE(QFile::exists(env.Abs(QStringLiteral("vantrel.ini"))));
  EXPECT_FALSE(QFile::exists(env.Abs(QStringLiteral("exceptions.ini"))));
  EXPECT_EQ(StoredString("Language"), std::nullopt);
  // Without a file the unsaved mask is shown again.
  Open();
  EXPECT_EQ(Masks(), QStringList({"*.tmp"}));
}

TEST_F(OptionsFormTest, OkStopsWhenTheMasksFileCannotBeCreated) {
  Start();
  Open();
  boxes.calls.clear();
  // A working directory that is gone refuses every new file, whoever runs the test.
  const QString gone = env.Abs(QStringLiteral("gone"));
  QDir().mkpath(gone);
  QDir::setCurrent(gone);
  QDir().rmdir(gone);

  QTest::mouseClick(OptionsForm->OKButton, Qt::LeftButton);

  ASSERT_EQ(boxes.calls.size(), 1u);
  EXPECT_EQ(boxes.calls[0].title, "Vantrel");
  EXPECT_EQ(boxes.calls[0].text, "Cannot create file vantrel.ini.");
  EXPECT_EQ(boxes.calls[0].icon, MessageIcon::Critical);
  EXPECT_TRUE(OptionsForm->isVisible());
  EXPECT_EQ(StoredString("Language"), std::nullopt);
}

TEST_F(OptionsFormTest, ListsLanguageFilesFromEveryDepth) {
  Start(Options("\"Language\": \"deep/b.LNG\""));
  env.WriteFile(QStringLiteral("Language/a.lng"), "");
  env.WriteFile(QStringLiteral("Language/notes.txt"), "");
  env.WriteFile(QStringLiteral("Language/x.lng.bak"), "");
  env.WriteFile(QStringLiteral("Language/sub/a.lng"), "");
  env.WriteFile(QStringLiteral("Language/sub/deeper/c.Lng"), "");
  env.WriteFile(QStringLiteral("Language/deep/b.LNG"), "");
  Open();

  QStringList items;
  for (int i = 0; i < OptionsForm->LangComboBox->count(); ++i)
    items << OptionsForm->LangComboBox->itemText(i);
  items.sort();  // the file system's order is not the test's business
  EXPECT_EQ(items, QStringList({"a.lng", "a.lng", "b.LNG", "c.Lng"}));
  EXPECT_EQ(OptionsForm->LangComboBox->currentText(), "deep/b.LNG");
  EXPECT_TRUE(boxes.calls.empty());
}

TEST_F(OptionsFormTest, TypingDropsTheListDownWithoutCompleting) {
  Start();
  env.WriteFile(QStringLiteral("Language/German.lng"), "");
  env.WriteFile(QStringLiteral("Language/Russian.lng"), "");
  Open();
  OptionsForm->PageControl1->setCurrentIndex(2);
  OptionsForm->activateWindow();
  OptionsForm->LangComboBox->setFocus();
  QTest::keyClicks(OptionsForm->LangComboBox->lineEdit(), QStringLiteral("Ge"));
  EXPECT_EQ(OptionsForm->LangComboBox->currentText(), "Ge");
  ASSERT_NE(OptionsForm->LangComboBox->completer(), nullptr);
  EXPECT_TRUE(OptionsForm->LangComboBox->completer()->popup()->isVisible());
  EXPECT_EQ(OptionsForm->LangComboBox->completer()->popup()->model()->rowCount(), 2);
}

TEST_F(OptionsFormTest, OpeningAgainShowsTheListsPage) {
  Start();
  UseLanguageDirectory();
  Open();
  OptionsForm->PageControl1->setCurrentIndex(2);
  OptionsForm->close();
  Open();
  EXPECT_EQ(OptionsForm->PageControl1->currentIndex(), 0);
}

}  // namespace

namespace {

// Captions too long for one row take more rows, every tab inside the control and the pages below
// the last; a click, the arrow keys and Ctrl+Tab choose the page.
TEST(PageControl, LongCaptionsTakeMoreRowsAndEveryTabCanBeChosen) {
  TPageControl control;
  control.resize(360, 266);
  for (const char* text : {"Masks", "Properties", "Language"}) control.addTab(new QWidget, text);
  EXPECT_EQ(control.RowCount(), 1);
  for (int i = 0; i < 3; ++i)
    control.setTabText(
        i, QStringLiteral("A caption far too long for a third of the window %1").arg(i));
  EXPECT_EQ(control.RowCount(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(control.rect().contains(control.tabRect(i))) << i;
  EXPECT_LT(control.tabRect(1).bottom(), control.tabRect(2).top());
  EXPECT_GT(control.widget(0)->mapTo(&control, QPoint()).y(), control.tabRect(2).bottom());

  QWidget* tabs = control.childAt(control.tabRect(2).center());
  ASSERT_NE(tabs, nullptr);
  QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->mapFrom(&control, control.tabRect(2).center()));
  EXPECT_EQ(control.currentIndex(), 2);
  QTest::keyClick(tabs, Qt::Key_Left);
  EXPECT_EQ(control.currentIndex(), 1);
  QTest::keyClick(control.widget(1), Qt::Key_Tab, Qt::ControlModifier);
  QTest::keyClick(control.widget(2), Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(control.currentIndex(), 0);
}

}  // namespace
