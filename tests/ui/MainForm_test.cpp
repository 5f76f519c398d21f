#include "app/MainForm.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>

#include "UiTestSupport.h"
#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/Forms.h"

namespace {

// Drives A removable, C fixed, D CD-ROM, E fixed, Z network.
const QByteArray kDrives = "A=removable:/a;C=fixed:/;D=cdrom:/cd;E=fixed:/e;Z=remote:/z";

class MainFormTest : public FormsTest {
 protected:
  bool CreateFormsInSetUp() const override { return false; }
  void TearDown() override {
    FormsTest::TearDown();
    SetProgramCommandLine(CommandLine{});
  }

  // Starts the program's windows with this drive map, store content and parameters.
  void Start(const QByteArray& drives, const QByteArray& registry = {},
             const QStringList& parameters = {}) {
    env.SetEnv("VANTREL_DRIVES", drives);
    if (!registry.isEmpty()) env.WriteFile(env.RegistryFile(), registry);
    SetProgramCommandLine(ParseCommandLine(parameters));
    CreateForms();
  }

  static QByteArray Options(const QByteArray& members) {
    return "{\"SOFTWARE\\\\Vantrel\\\\Options\": {" + members + "}}";
  }

  QStringList Entries() const {
    QStringList entries;
    for (int i = 0; i < MainForm->DriveListBox->count(); ++i)
      entries << MainForm->DriveListBox->item(i)->text();
    return entries;
  }
  QStringList Ticked() const {
    QStringList ticked;
    for (int i = 0; i < MainForm->DriveListBox->count(); ++i)
      if (MainForm->DriveListBox->item(i)->checkState() == Qt::Checked)
        ticked << MainForm->DriveListBox->item(i)->text();
    return ticked;
  }
  // A tick as the user gives it (the list reports the change).
  void UserTick(int row, bool ticked) {
    MainForm->DriveListBox->item(row)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
  }
};

TEST_F(MainFormTest, FirstRunListsDrivesInLetterOrderAndCreatesAutoCheckHD) {
  Start(kDrives);
  EXPECT_EQ(
      Entries(),
      QStringList({"Removable Drive A:", "Hard Drive C:", "Hard Drive E:", "Remote Drive Z:"}));
  EXPECT_EQ(MainForm->DriveListBox->item(3)->toolTip(), "/z");
  EXPECT_TRUE(Ticked().isEmpty());
  EXPECT_FALSE(MainForm->Start1->isEnabled());
  TRegistry registry;
  registry.OpenKey(kOptionsKey, false);
  EXPECT_EQ(registry.ReadInteger(QStringLiteral("AutoCheckHD")), 0);
  EXPECT_EQ(MainForm->windowTitle(), "Vantrel");
  EXPECT_EQ(MainForm->DriveLabel->text(), "Select drives:");
  EXPECT_EQ(MainForm->Action1->title(), "Action");
  EXPECT_EQ(MainForm->Start1->text(), "Start");
  EXPECT_EQ(MainForm->Exit1->text(), "Exit");
  EXPECT_EQ(MainForm->Options1->text(), "Options");
  EXPECT_EQ(MainForm->N1->title(), "?");
  EXPECT_EQ(MainForm->About1->text(), "About");
  EXPECT_FALSE(MainForm->Help1->isVisible());
  EXPECT_TRUE(boxes.calls.empty());

  UserTick(2, true);
  EXPECT_TRUE(MainForm->Start1->isEnabled());
  UserTick(2, false);
  EXPECT_FALSE(MainForm->Start1->isEnabled());

  MainForm->show();
  SaveScreenshot(MainForm, QStringLiteral("main-window"));
}

TEST_F(MainFormTest, WindowIsFixedAtPanelAndMenuBarWithMinimizeButNoMaximize) {
  Start(kDrives);
  MainForm->show();
  QCoreApplication::processEvents();
  const int menu = MainForm->menuBar()->height();
  const QSize fixed(259, 136 + menu);
  EXPECT_EQ(MainForm->DrivePanel->geometry(), QRect(0, menu, 259, 136));
  EXPECT_EQ(MainForm->DriveLabel->geometry(), QRect(1, 1, 257, 13));
  EXPECT_EQ(MainForm->DriveListBox->geometry(), QRect(1, 14, 257, 121));
  EXPECT_EQ(MainForm->size(), fixed);
  // Equal least and greatest sizes: a window manager offers neither resizing nor maximizing.
  EXPECT_EQ(MainForm->minimumSize(), fixed);
  EXPECT_EQ(MainForm->maximumSize(), fixed);
  EXPECT_TRUE(MainForm->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(MainForm->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
}

TEST_F(MainFormTest, DriveRowsAreThirteenPixelsWithWholeCheckBoxes) {
  Start(kDrives, Options("\"AutoCheckHD\": 1"));
  MainForm->show();
  QCoreApplication::processEvents();
  QListWidget* list = MainForm->DriveListBox;
  for (int row = 0; row < list->count(); ++row) {
    const QRect cell = list->visualItemRect(list->item(row));
    EXPECT_EQ(cell.height(), 13) << row;
    EXPECT_EQ(cell.top(), 13 * row) << row;
    const QRect box = CheckBoxRect(list, list->model()->index(row, 0));
    EXPECT_TRUE(cell.contains(box))
        << ::testing::PrintToString(box) << " in " << ::testing::PrintToString(cell);
    EXPECT_LT(box.height(), cell.height());
  }
}

TEST_F(MainFormTest, AutoCheckHDTicksHardDrivesOnlyOnExactlyOne) {
  struct Case {
    QByteArray value;
    QStringList ticked;
  };
  for (const Case& c :
       std::vector<Case>{{"1", {"Hard Drive C:", "Hard Drive E:"}}, {"0", {}}, {"2", {}}}) {
    TestEnv local;
    local.SetEnv("VANTREL_DRIVES", kDrives);
    local.WriteFile(local.RegistryFile(), Options("\"AutoCheckHD\": " + c.value));
    CreateForms();
    EXPECT_EQ(Ticked(), c.ticked) << c.value.constData();
    EXPECT_EQ(MainForm->Start1->isEnabled(), !c.ticked.isEmpty());
    EXPECT_FALSE(MainForm->AutoStart());
    DestroyForms();
  }
}

TEST_F(MainFormTest, SwitchesTickDrivesAndArmTheUnattendedRun) {
  struct Case {
    QStringList parameters;
    QByteArray autoCheckHD;
    QStringList ticked;
    bool autoStart;
    bool startEnabled;
  };
  const std::vector<Case> cases = {
      {{"/DALL"},
       "0",
       {"Removable Drive A:", "Hard Drive C:", "Hard Drive E:", "Remote Drive Z:"},
       true,
       false},
      {{"/dhard"}, "1", {"Hard Drive C:", "Hard Drive E:"}, true, true},
      {{"/dremote"}, "0", {"Remote Drive Z:"}, true, false},
      {{"/dremovable"}, "0", {"Removable Drive A:"}, true, false},
      // No RAM drive: every entry ends unticked, yet the unattended check is armed.
      {{"/dram"}, "1", {}, true, true},
      // Only C, although AutoCheckHD ticked E too.
      {{"/dc"}, "1", {"Hard Drive C:"}, true, true},
      {{"/dE"}, "0", {"Hard Drive E:"}, true, false},
      // No drive Q: everything unticked, nothing armed, Start keeps its AutoCheckHD state.
      {{"/dq"}, "1", {}, false, true},
      {{"/x"}, "1", {"Hard Drive C:", "Hard Drive E:"}, false, true},
      {{"/dcc"}, "0", {}, false, false},
      {{"-dall"}, "0", {}, false, false},
  };
  for (const Case& c : cases) {
    TestEnv local;
    local.SetEnv("VANTREL_DRIVES", kDrives);
    local.WriteFile(local.RegistryFile(), Options("\"AutoCheckHD\": " + c.autoCheckHD));
    SetProgramCommandLine(ParseCommandLine(c.parameters));
    CreateForms();
    const std::string label = c.parameters.join(u' ').toStdString();
    EXPECT_EQ(Ticked(), c.ticked) << label;
    EXPECT_EQ(MainForm->AutoStart(), c.autoStart) << label;
    EXPECT_EQ(MainForm->CloseAfterCheck(), c.autoStart) << label;
    EXPECT_EQ(MainForm->Start1->isEnabled(), c.startEnabled) << label;
    DestroyForms();
  }
}

TEST_F(MainFormTest, TranslatedKindLabelsNameTheEntriesAndSelectByText) {
  // Two kinds sharing one label are told apart by nothing: /dhard ticks both.
  env.WriteFile(QStringLiteral("Language/x.lng"),
                "[Main]\nFixed=Laufwerk\nRemovable=Laufwerk\nDriveLabel=Laufwerke\n");
  Start(kDrives, Options("\"Language\": \"x.lng\""), {"/dhard"});
  EXPECT_EQ(Entries(),
            QStringList({"Laufwerk A:", "Laufwerk C:", "Laufwerk E:", "Remote Drive Z:"}));
  EXPECT_EQ(Ticked(), QStringList({"Laufwerk A:", "Laufwerk C:", "Laufwerk E:"}));
  EXPECT_EQ(MainForm->DriveLabel->text(), "Laufwerke:");
}

TEST_F(MainFormTest, WrongKindOfAutoCheckHDStopsTheRestOfStartUp) {
  Start(kDrives, Options("\"AutoCheckHD\": \"1\""), {"/dall"});
  ASSERT_EQ(boxes.calls.size(), 1u);
  EXPECT_EQ(boxes.calls[0].title, "Vantrel");
  EXPECT_EQ(boxes.calls[0].text, "Invalid data type for 'AutoCheckHD'");
  EXPECT_EQ(boxes.calls[0].icon, MessageIcon::Critical);
  // The list was built before the failure; the switch after it never ran.
  EXPECT_EQ(Entries().size(), 4);
  EXPECT_TRUE(Ticked().isEmpty());
  EXPECT_FALSE(MainForm->AutoStart());
}

TEST_F(MainFormTest, StartWithoutMaskFileShowsTheErrorAndOpensNoFindWindow) {
  Start(kDrives);
  UserTick(1, true);
  MainForm->Start1->trigger();
  ASSERT_EQ(boxes.calls.size(), 1u);
  EXPECT_EQ(boxes.calls[0].text, "Cannot open file vantrel.ini.");
  EXPECT_EQ(boxes.calls[0].title, "Vantrel");
  EXPECT_EQ(Ticked(), QStringList({"Hard Drive C:"}));
  EXPECT_TRUE(MainForm->Start1->isEnabled());
  // Had the find window opened, its modal loop would still be running here.
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainFormTest, EntryPositionsGiveLetterAndKind) {
  EXPECT_EQ(DriveLetterOf(QStringLiteral("Hard Drive C:")), QChar(u'C'));
  EXPECT_EQ(DriveKindLabelOf(QStringLiteral("Hard Drive C:")), "Hard Drive");
  EXPECT_EQ(DriveKindLabelOf(QStringLiteral(" C:")), "");
  EXPECT_EQ(DriveKindLabelOf(QStringLiteral("C:")), "");
}

}  // namespace
