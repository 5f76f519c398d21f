#include "scan/FindForm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <functional>
#include <memory>
#include <optional>

#include "../core/ScanTestSupport.h"
#include "BlockingVolume.h"
#include "UiTestSupport.h"
#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "platform/WindowFrame.h"
#include "settings/ListBox.h"
#include "settings/ListFile.h"
#include "settings/OptionsForm.h"

namespace {

// What the window showed at one moment of a check.
struct Snapshot {
  bool stop, close, del, selection, canClose;
  QString caption;
  qsizetype found;
};

class FindFormTest : public FormsTest {
 protected:
  bool CreateFormsInSetUp() const override { return false; }
  void SetUp() override {
    FormsTest::SetUp();
    root = Bytes(env.Root());
    for (const char* d : {"/c", "/e", "/f"}) MakeDir(root + d);
  }
  void TearDown() override {
    observer.stop();
    FormsTest::TearDown();
    SetProgramCommandLine(CommandLine{});
  }

  // The program's windows over drives C, E and F, with these lists, settings and parameters.
  void Start(const QStringList& masks, const QStringList& exceptions,
             const QByteArray& options = {}, const QStringList& parameters = {}) {
    env.SetEnv("VANTREL_DRIVES", QByteArray::fromStdString("C=fixed:" + root + "/c;E=fixed:" +
                                                           root + "/e;F=fixed:" + root + "/f"));
    env.WriteFile(QStringLiteral("vantrel.ini"), FormatListText(masks));
    env.WriteFile(QStringLiteral("exceptions.ini"), FormatListText(exceptions));
    env.WriteFile(env.RegistryFile(),
                  "{\"SOFTWARE\\\\Vantrel\\\\Options\": {\"AutoCheckHD\": 0" + options + "}}");
    SetProgramCommandLine(ParseCommandLine(parameters));
    CreateForms();
    FindForm->EventInterval = {};
  }
  void TickDrives(std::initializer_list<int> rows) {
    for (int row : rows) MainForm->DriveListBox->item(row)->setCheckState(Qt::Checked);
  }

  // The start command's preparation, then a showing; returns once the check has ended.
  void Check(int milliseconds = 10000) {
    FindForm->ClearTempFileList();
    LoadListBox(OptionsForm->MaskBox, kMasksFileName);
    FindForm->StopButton->setEnabled(true);
    FindForm->StatusPanel->setText(QStringLiteral("(before)"));
    FindForm->show();
    ASSERT_TRUE(WaitFor(
        [this] {
          // Finished, or ended by a failure (shown in the error box, the window closable again).
          return FindForm->StatusCaption() == QStringLiteral(" Finished") ||
                 (FindForm->CanClose && !boxes.calls.empty() &&
                  boxes.calls.back().icon == MessageIcon::Critical);
        },
        milliseconds));
  }

  // Runs action at every event the check lets through while the window is shown.
  void Observe(const std::function<void()>& action) {
    observer.setInterval(0);
    QObject::connect(&observer, &QTimer::timeout, &observer, [action] {
      if (FindForm != nullptr && FindForm->isVisible()) action();
    });
    observer.start();
  }
  Snapshot Take() const {
    return Snapshot{FindForm->StopButton->isEnabled(),
                    FindForm->CloseButton->isEnabled(),
                    FindForm->DeleteButton->isEnabled(),
                    FindForm->SelectAllButton->isEnabled(),
                    FindForm->CanClose,
                    FindForm->StatusCaption(),
                    FindForm->TempFileModel->Count()};
  }
  QString At(const std::string& path) const { return QString::fromStdString(root + path); }
  QStringList Findings() const { return Texts(*FindForm->TempFileModel); }
  void UserTick(int row, bool ticked) {
    TResultList* model = FindForm->TempFileModel;
    model->setData(model->index(row), ticked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
  }
  int StoredInteger(const char* name) {
    TRegistry registry;
    registry.OpenKey(kOptionsKey, false);
    const QString value = QString::fromLatin1(name);
    return registry.ValueExists(value) ? registry.ReadInteger(value) : -1;
  }

  std::string root;
  QTimer observer;
};

TEST_F(FindFormTest, FullCheckGoesThroughItsStates) {
  MakeFile(root + "/c/a.tmp", "12345");
  MakeFile(root + "/c/keep.tmp", "1");
  MakeFile(root + "/e/b.tmp", "1234567");
  Start({"*.tmp"}, {"keep.*"});
  TickDrives({0, 1});
  std::vector<Snapshot> snapshots;
  bool shot = false;
  Observe([&] {
    snapshots.push_back(Take());
    if (!shot && FindForm->TempFileModel->Count() == 1 && !FindForm->CanClose) {
      shot = true;
      SaveScreenshot(FindForm, QStringLiteral("find-checking"));
    }
  });
  Check();
  observer.stop();

  EXPECT_EQ(FindForm->windowTitle(), "List of unuseful files");
  EXPECT_EQ(Findings(), QStringList({At("/c/a.tmp"), At("/e/b.tmp")}));
  EXPECT_EQ(FindForm->StatusCaption(), " Finished");
  EXPECT_EQ(FindForm->StatusBarText(1), "Files: 2");
  EXPECT_EQ(FindForm->StatusBarText(2), "Total size: 12 bytes");
  EXPECT_EQ(ListBoxEntries(OptionsForm->ExceptionsBox), QStringList({"keep.*"}));
  EXPECT_EQ(FindForm->FoundCount, 2);

  // Checking: Stop offered, Close and Delete not, selection only once the first drive is done.
  ASSERT_FALSE(snapshots.empty());
  bool sawSecondDrive = false;
  bool sawFirstDriveWithoutSelection = false;
  for (const Snapshot& s : snapshots) {
    if (s.canClose) continue;
    EXPECT_TRUE(s.stop);
    EXPECT_FALSE(s.close);
    EXPECT_FALSE(s.del);
    const bool onSecondDrive = s.caption.contains(At("/e/"));
    sawSecondDrive |= onSecondDrive;
    // Between the drives the first drive's caption still shows, with the buttons already on.
    if (onSecondDrive) {
      EXPECT_TRUE(s.selection) << s.caption.toStdString();
    }
    sawFirstDriveWithoutSelection |= !onSecondDrive && !s.selection;
  }
  EXPECT_TRUE(sawSecondDrive);
  EXPECT_TRUE(sawFirstDriveWithoutSelection);
  // Finished.
  EXPECT_FALSE(FindForm->StopButton->isEnabled());
  EXPECT_TRUE(FindForm->CloseButton->isEnabled());
  EXPECT_FALSE(FindForm->DeleteButton->isEnabled());
  EXPECT_TRUE(FindForm->SelectAllButton->isEnabled());
  EXPECT_TRUE(FindForm->UnselectButton->isEnabled());
  EXPECT_TRUE(FindForm->InvertSelectionButton->isEnabled());
  EXPECT_TRUE(boxes.calls.empty());
  SaveScreenshot(FindForm, QStringLiteral("find-finished"));
}

TEST_F(FindFormTest, LayoutAndHints) {
  Start({"*.tmp"}, {});
  Check();
  // The designed frame, 574 wide, raised to the least frame of 600 x 111; the controls fill the
  // inner area.
  const QMargins margins = FindForm->windowHandle()->frameMargins();
  EXPECT_EQ(FindForm->frameGeometry().width(), 600);
  EXPECT_EQ(FindForm->minimumSize().grownBy(margins), QSize(600, 111));
  const int inner = 600 - margins.left() - margins.right();
  EXPECT_EQ(FindForm->BGPanel->width(), inner);
  EXPECT_EQ(FindForm->SelectAllButton->x(), inner - 110);
  EXPECT_EQ(FindForm->UnselectButton->x(), inner - 75);
  EXPECT_EQ(FindForm->InvertSelectionButton->x(), inner - 40);
  EXPECT_EQ(FindForm->StatusBarPanels[0]->width(), inner - 320);
  EXPECT_EQ(FindForm->StatusBarPanels[1]->width(), 120);
  EXPECT_EQ(FindForm->StatusBarPanels[2]->width(), 200);
  FindForm->resize(800, 300);
  EXPECT_EQ(FindForm->InvertSelectionButton->x(), 760);
  EXPECT_EQ(FindForm->StatusBarPanels[0]->width(), 480);
  EXPECT_EQ(FindForm->DeleteButton->text(), "Delete");
  EXPECT_EQ(FindForm->StopButton->text(), "Stop");
  EXPECT_EQ(FindForm->CloseButton->text(), "Close");
  QEvent enter(QEvent::Enter);
  QCoreApplication::sendEvent(FindForm->InvertSelectionButton, &enter);
  EXPECT_EQ(FindForm->StatusBarText(0), "Invert selection");
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(FindForm->InvertSelectionButton, &leave);
  EXPECT_EQ(FindForm->StatusBarText(0), "");
}

TEST_F(FindFormTest, StopDuringTheFirstOfThreeDrives) {
  for (const char* d : {"/c", "/e", "/f"}) {
    for (const char* f : {"/1.tmp", "/2.tmp", "/3.tmp"}) MakeFile(root + d + f);
  }
  Start({"*.tmp"}, {});
  TickDrives({0, 1, 2});
  Observe([] {
    if (FindForm->TempFileModel->Count() == 1 && FindForm->StopButton->isEnabled())
      FindForm->StopButton->click();
  });
  Check();
  EXPECT_EQ(FindForm->StatusCaption(), " Finished");
  EXPECT_EQ(FindForm->TempFileModel->Count(), 1);
  EXPECT_EQ(FindForm->StatusBarText(1), "Files: 1");
  EXPECT_EQ(FindForm->StatusBarText(2), "Total size: 0 bytes");
  EXPECT_FALSE(FindForm->StopButton->isEnabled());
  EXPECT_TRUE(FindForm->CloseButton->isEnabled());
  EXPECT_TRUE(FindForm->SelectAllButton->isEnabled());
  EXPECT_TRUE(Findings().first().startsWith(At("/c/")));
}

TEST_F(FindFormTest, CloseRequestsDuringTheCheckAreDropped) {
  MakeFile(root + "/c/a.tmp");
  MakeFile(root + "/c/b.tmp");
  Start({"*.tmp"}, {});
  TickDrives({0});
  bool tried = false;
  bool visibleAfterClose = false;
  bool emptiedByClose = false;
  Observe([&] {
    if (tried || FindForm->CanClose || FindForm->TempFileModel->Count() != 1) return;
    tried = true;
    FindForm->close();  // the close box
    visibleAfterClose = FindForm->isVisible();
    FindForm->StopButton->click();
    FindForm->CloseButton->click();  // empties the list, but the close is dropped
    emptiedByClose = FindForm->TempFileModel->IsEmpty() && FindForm->isVisible();
  });
  // Also the close that comes with the showing, before the check has begun.
  bool visibleAfterEarlyClose = false;
  QTimer::singleShot(0, FindForm, [&] {
    FindForm->close();
    visibleAfterEarlyClose = FindForm->isVisible();
  });
  Check();
  EXPECT_TRUE(visibleAfterEarlyClose);
  EXPECT_TRUE(tried);
  EXPECT_TRUE(visibleAfterClose);
  EXPECT_TRUE(emptiedByClose);
  EXPECT_TRUE(FindForm->isVisible());
  EXPECT_EQ(StoredInteger("FindWndWidth"), -1);  // nothing written
  FindForm->CloseButton->click();
  EXPECT_FALSE(FindForm->isVisible());
  EXPECT_EQ(StoredInteger("FindWndWidth"), 600);
}

TEST_F(FindFormTest, GeometryIsWrittenOnCloseAndRestoredAsStored) {
  Start({"*.tmp"}, {});
  Check();
  // The user gives the frame 700 x 300, reaching past the screen's right edge: applied as
  // stored all the same.
  const QRect frame(500, 20, 700, 300);
  FindForm->setGeometry(InnerRect(frame, FindForm->windowHandle()->frameMargins()));
  FindForm->close();
  EXPECT_FALSE(FindForm->isVisible());
  EXPECT_EQ(StoredInteger("FindWndWidth"), 700);
  EXPECT_EQ(StoredInteger("FindWndHeight"), 300);
  EXPECT_EQ(StoredInteger("FindWndTop"), 20);
  EXPECT_EQ(StoredInteger("FindWndLeft"), 500);
  EXPECT_EQ(StoredInteger("FindWndState"), 0);
  DestroyForms();
  CreateForms();
  FindForm->EventInterval = {};
  Check();
  EXPECT_EQ(FindForm->frameGeometry(), frame);
}

struct GeometryCase {
  const char* name;
  const char* stored;
  QRect frame;  // null: 600 x 250, centred on the screen
};

void PrintTo(const GeometryCase& c, std::ostream* os) {
  *os << c.name;
}

class FindFormGeometryTest : public FindFormTest,
                             public ::testing::WithParamInterface<GeometryCase> {};

// The values are the frame's, title bar and borders included, as shown.
TEST_P(FindFormGeometryTest, AppliesStoredValuesToTheFrame) {
  const GeometryCase& c = GetParam();
  Start({}, {}, QByteArray(", ") + c.stored);
  Check();
  QRect expected = c.frame;
  if (expected.isNull()) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    expected = QRect(screen.width() / 2 - 300, screen.height() / 2 - 125, 600, 250);
  }
  EXPECT_EQ(FindForm->frameGeometry(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindFormGeometryTest,
    ::testing::Values(
        GeometryCase{"Designed", "\"FindWndState\": 0", QRect(232, 240, 600, 249)},
        GeometryCase{"NarrowRaised", "\"FindWndWidth\": 300", QRect(232, 240, 600, 249)},
        GeometryCase{"LowRaised", "\"FindWndHeight\": 50", QRect(232, 240, 600, 111)},
        GeometryCase{"StoredFrame",
                     "\"FindWndLeft\": 100, \"FindWndTop\": 80, \"FindWndWidth\": 700, "
                     "\"FindWndHeight\": 300",
                     QRect(100, 80, 700, 300)},
        GeometryCase{"Maximized", "\"FindWndWidth\": 900, \"FindWndState\": 2", QRect()},
        GeometryCase{"Minimized", "\"FindWndHeight\": 90, \"FindWndState\": 1", QRect()},
        GeometryCase{"OtherState", "\"FindWndWidth\": 640, \"FindWndState\": 7",
                     QRect(232, 240, 640, 249)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FindFormTest, ResultRowsAreThirteenPixelsWithWholeCheckBoxes) {
  for (const char* f : {"/c/a.tmp", "/c/b.tmp", "/c/c.tmp"}) MakeFile(root + f);
  Start({"*.tmp"}, {});
  TickDrives({0});
  Check();
  FindForm->TempFileModel->SetChecked(1, true);
  QTableView* list = FindForm->TempFileList;
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(list->rowHeight(row), 13) << row;
    EXPECT_EQ(list->rowViewportPosition(row), 13 * row) << row;
    const QModelIndex index = FindForm->TempFileModel->index(row);
    const QRect cell = list->visualRect(index);
    // Drawn inside its row, a pixel short of it, so that it is whole and apart from its
    // neighbours.
    const QRect box = CheckBoxRect(list, index);
    EXPECT_TRUE(cell.contains(box))
        << ::testing::PrintToString(box) << " in " << ::testing::PrintToString(cell);
    EXPECT_LT(box.height(), cell.height());
  }
  SaveScreenshot(FindForm, QStringLiteral("find-rows"));
}

TEST_F(FindFormTest, AutoCheckFFTicksEveryFinding) {
  MakeFile(root + "/c/a.tmp");
  MakeFile(root + "/c/report(1)");  // reads as marked, yet the automatic tick takes it
  Start({"*.tmp", "report*"}, {}, ", \"AutoCheckFF\": 1");
  TickDrives({0});
  Check();
  EXPECT_EQ(FindForm->TempFileModel->CheckedCount(), 2);
  EXPECT_TRUE(FindForm->DeleteButton->isEnabled());
}

TEST_F(FindFormTest, AutoCheckFFOtherThanOneTicksNothing) {
  MakeFile(root + "/c/a.tmp");
  Start({"*.tmp"}, {}, ", \"AutoCheckFF\": 2");
  TickDrives({0});
  Check();
  EXPECT_EQ(FindForm->TempFileModel->CheckedCount(), 0);
  EXPECT_FALSE(FindForm->DeleteButton->isEnabled());
}

struct FailureCase {
  const char* name;
  QStringList masks;
  bool exceptionsFile;
  const char* options;
  const char* message;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

class FindFormFailureTest : public FindFormTest,
                            public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FindFormFailureTest, EndsTheCheckAndLeavesTheWindowClosable) {
  const FailureCase& c = GetParam();
  MakeFile(root + "/c/a.tmp");
  Start(c.masks, {}, c.options);
  if (!c.exceptionsFile) ::unlink("exceptions.ini");
  TickDrives({0});
  Check();
  ASSERT_EQ(boxes.calls.size(), 1u);
  EXPECT_EQ(boxes.calls[0].title, "Vantrel");
  EXPECT_EQ(boxes.calls[0].text, QString::fromUtf8(c.message));
  EXPECT_EQ(boxes.calls[0].icon, MessageIcon::Critical);
  EXPECT_TRUE(FindForm->CanClose);
  EXPECT_FALSE(FindForm->StopButton->isEnabled());
  EXPECT_TRUE(FindForm->CloseButton->isEnabled());
  FindForm->CloseButton->click();
  EXPECT_FALSE(FindForm->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindFormFailureTest,
    ::testing::Values(
        FailureCase{"NoExceptionsFile", {"*.tmp"}, false, "", "Cannot open file exceptions.ini."},
        FailureCase{"BadMask", {"*.tmp", "[abc"}, true, "", "'[abc' is an invalid mask at (5)"},
        FailureCase{"SwitchOfWrongKind",
                    {"*.tmp"},
                    true,
                    ", \"CheckTemp\": \"1\"",
                    "Invalid data type for 'CheckTemp'"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FindFormTest, MissingDriveRootWarnsAndTheCheckGoesOn) {
  MakeFile(root + "/e/b.tmp");
  ::rmdir((root + "/c").c_str());
  Start({"*.tmp"}, {});
  TickDrives({0, 1});
  Check();
  ASSERT_EQ(boxes.calls.size(), 1u);
  EXPECT_EQ(boxes.calls[0].title, "Attention");
  EXPECT_EQ(boxes.calls[0].text, "No disk or disk error!");
  EXPECT_EQ(boxes.calls[0].icon, MessageIcon::Warning);
  EXPECT_EQ(Findings(), QStringList({At("/e/b.tmp")}));
}

// A switch of the wrong kind ends the check where the temporary folder search reads it: after
// the drive's warning.
TEST_F(FindFormTest, MissingDriveRootWarnsBeforeASwitchOfTheWrongKindEndsTheCheck) {
  ::rmdir((root + "/c").c_str());
  Start({"*.tmp"}, {}, ", \"CheckTemp\": \"1\"");
  TickDrives({0});
  Check();
  ASSERT_EQ(boxes.calls.size(), 2u);
  EXPECT_EQ(boxes.calls[0].text, "No disk or disk error!");
  EXPECT_EQ(boxes.calls[1].text, "Invalid data type for 'CheckTemp'");
}

TEST_F(FindFormTest, CacheCleaningWithoutAFolderWarnsOnceAfterTheDrives) {
  Start({"*.tmp"}, {}, ", \"CheckITemp\": 1");
  TickDrives({0});
  Check();
  ASSERT_EQ(boxes.calls.size(), 1u);
  EXPECT_EQ(boxes.calls[0].text, "No disk or disk error!");
  EXPECT_EQ(FindForm->StatusCaption(), " Finished");
}

TEST_F(FindFormTest, SecondShowingRunsANewCheckOnAnEmptyList) {
  MakeFile(root + "/c/a.tmp");
  Start({"*.tmp"}, {});
  TickDrives({0});
  Check();
  FindForm->CloseButton->click();
  ASSERT_FALSE(FindForm->isVisible());
  MakeFile(root + "/c/b.tmp");
  Check();
  EXPECT_EQ(FindForm->TempFileModel->Count(), 2);
  EXPECT_EQ(FindForm->StatusBarText(1), "Files: 2");
}

class FindFormDeletionTest : public FindFormTest {
 protected:
  void SetUp() override {
    FindFormTest::SetUp();
    MakeDir(root + "/c/locked");
    for (const char* f : {"/c/a.tmp", "/c/b.tmp", "/c/locked/c.tmp"}) MakeFile(root + f, "xx");
    Start({"*.tmp"}, {});
    TickDrives({0});
    Check();
  }
  // The check's helper, which also deletes, takes the reduced rights with it.
  PermissionsBite bite_;
  int RowOf(const std::string& path) const { return Findings().indexOf(At(path)); }
  // Select all and Delete while c/locked refuses changes: its file is the one that stays.
  void DeleteAllWithOneFolderLocked() {
    ::chmod((root + "/c/locked").c_str(), 0555);
    FindForm->SelectAllButton->click();
    FindForm->DeleteButton->click();
    ::chmod((root + "/c/locked").c_str(), 0755);
  }
};

TEST_F(FindFormDeletionTest, DeletesTickedFilesAndSumsUp) {
  ASSERT_EQ(FindForm->TempFileModel->Count(), 3);
  UserTick(RowOf("/c/a.tmp"), true);
  EXPECT_TRUE(FindForm->DeleteButton->isEnabled());
  UserTick(RowOf("/c/b.tmp"), true);
  ::unlink((root + "/c/b.tmp").c_str());  // gone meanwhile: counts as deleted
  FindForm->DeleteButton->click();
  EXPECT_EQ(FindForm->StatusCaption(), " Deleted files 2 of 3");
  EXPECT_EQ(Findings(), QStringList({At("/c/locked/c.tmp")}));
  EXPECT_EQ(FindForm->StatusBarText(1), "Files: 1");
  EXPECT_EQ(FindForm->StatusBarText(2), "Total size: 2 bytes");
  EXPECT_EQ(FindForm->FoundCount, 1);
  EXPECT_FALSE(FindForm->DeleteButton->isEnabled());
  EXPECT_FALSE(FindForm->ProgressBar->isVisible());
  EXPECT_FALSE(Exists(root + "/c/a.tmp"));
  SaveScreenshot(FindForm, QStringLiteral("find-after-deletion"));

  FindForm->SelectAllButton->click();
  FindForm->DeleteButton->click();
  EXPECT_EQ(FindForm->StatusCaption(), " Deleted files 1 of 1");
  EXPECT_TRUE(FindForm->TempFileModel->IsEmpty());
  EXPECT_EQ(FindForm->StatusBarText(1), "Files: 0");
  EXPECT_EQ(FindForm->StatusBarText(2), "Total size: 0 bytes");
  EXPECT_FALSE(FindForm->DeleteButton->isEnabled());
}

TEST_F(FindFormDeletionTest, UndeletableEntryIsMarkedAndNeverTickedAgain) {
  DeleteAllWithOneFolderLocked();
  EXPECT_EQ(FindForm->StatusCaption(), " Deleted files 2 of 3");
  EXPECT_EQ(Findings(), QStringList({At("/c/locked/c.tmp") + " (Cannot delete file)"}));
  EXPECT_FALSE(FindForm->DeleteButton->isEnabled());

  UserTick(0, true);  // taken off again at once
  EXPECT_FALSE(FindForm->TempFileModel->Checked(0));
  EXPECT_FALSE(FindForm->DeleteButton->isEnabled());
  for (QToolButton* command :
       {FindForm->SelectAllButton, FindForm->InvertSelectionButton, FindForm->UnselectButton}) {
    command->click();
    EXPECT_FALSE(FindForm->TempFileModel->Checked(0));
  }
}

// UseTrash is read when Delete runs, so a change made after the check counts; the window
// shows exactly what a deletion shows.
TEST_F(FindFormDeletionTest, WithUseTrashTheFilesGoToTheTrash) {
  {
    TRegistry registry;
    registry.OpenKey(kOptionsKey, true);
    registry.WriteInteger(QStringLiteral("UseTrash"), 1);
    registry.CloseKey();
  }
  DeleteAllWithOneFolderLocked();
  EXPECT_EQ(FindForm->StatusCaption(), " Deleted files 2 of 3");
  EXPECT_EQ(Findings(), QStringList({At("/c/locked/c.tmp") + " (Cannot delete file)"}));
  EXPECT_EQ(FindForm->StatusBarText(1), "Files: 1");
  EXPECT_EQ(FindForm->StatusBarText(2), "Total size: 2 bytes");
  const std::string trash = root + "/home/.local/share/Trash";
  EXPECT_TRUE(Exists(trash + "/files/a.tmp"));
  EXPECT_TRUE(Exists(trash + "/files/b.tmp"));
  EXPECT_TRUE(Exists(trash + "/info/b.tmp.trashinfo"));
  EXPECT_FALSE(Exists(trash + "/info/c.tmp.trashinfo"));
  EXPECT_TRUE(Exists(root + "/c/locked/c.tmp"));
}

TEST_F(FindFormDeletionTest, SelectionCommands) {
  FindForm->SelectAllButton->click();
  EXPECT_EQ(FindForm->TempFileModel->CheckedCount(), 3);
  EXPECT_TRUE(FindForm->DeleteButton->isEnabled());
  UserTick(0, false);
  FindForm->InvertSelectionButton->click();
  EXPECT_EQ(FindForm->TempFileModel->CheckedCount(), 1);
  EXPECT_TRUE(FindForm->TempFileModel->Checked(0));
  FindForm->UnselectButton->click();
  EXPECT_EQ(FindForm->TempFileModel->CheckedCount(), 0);
  EXPECT_FALSE(FindForm->DeleteButton->isEnabled());
}

TEST_F(FindFormTest, CommandLineRunDeletesOpensParameterTwoAndEnds) {
  MakeFile(root + "/c/a.tmp");
  MakeFile(root + "/e/b.tmp");
  Start({"*.tmp"}, {}, ", \"AutoCheckFF\": 1", {"/dc", "notes.txt", "-v two words"});
  MainForm->show();
  ASSERT_TRUE(WaitFor([this] { return !shell.calls.empty() && !MainForm->isVisible(); }));
  EXPECT_FALSE(Exists(root + "/c/a.tmp"));
  EXPECT_TRUE(Exists(root + "/e/b.tmp"));
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_EQ(shell.calls[0].target, "notes.txt");
  EXPECT_EQ(shell.calls[0].parameters, "-v two words");
  EXPECT_EQ(FindForm->StatusCaption(), " Deleted files 1 of 1");
  EXPECT_EQ(StoredInteger("FindWndWidth"), -1);  // not closed through FormClose
  // Closing the main window asked every running loop to end; let the next test start afresh.
  QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
  QCoreApplication::exec();
}

// Drive F on a volume whose folder blk cannot be listed until the test lets it: a stalled network
// server. The root's entries come in the order a.tmp, blk, z.tmp.
class LiveWindowTest : public FindFormTest {
 protected:
  void SetUp() override {
    FindFormTest::SetUp();
    volume = std::make_unique<BlockingVolume>(root + "/f", Tree());
    if (!volume->Skip().empty()) GTEST_SKIP() << volume->Skip();
    MakeFile(root + "/c/c1.tmp", "1");
    MakeFile(root + "/e/e1.tmp", "1");
    Start({"*.tmp"}, {});
  }
  void TearDown() override {
    ticker.stop();
    volume.reset();
    FindFormTest::TearDown();
  }
  virtual std::string Tree() const { return "f a.tmp 1\nb blk\nf blk/in.tmp 2\nf z.tmp 3\n"; }
  // Calls action every 10 ms for as long as the check lets the window handle events.
  void Every10Ms(const std::function<void()>& action) {
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, &ticker, action);
    ticker.start();
  }
  using Clock = std::chrono::steady_clock;
  static double MsSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
  }
  // Called on each tick: follows the longest gap between ticks once a call on the volume has
  // blocked; true on the first tick that finds one blocked (blockedAt is then set).
  bool FirstBlockedTick() {
    const Clock::time_point now = Clock::now();
    if (blockedAt) longestGap = std::max(longestGap, MsSince(lastTick));
    lastTick = now;
    if (blockedAt || volume->Blocked() < 1) return false;
    blockedAt = now;
    return true;
  }

  std::unique_ptr<BlockingVolume> volume;
  QTimer ticker;
  std::optional<Clock::time_point> blockedAt;
  Clock::time_point lastTick = Clock::now();
  double longestGap = 0;
};

// While a listing blocks for 10 s, the window keeps handling its events (paints, moves, Stop);
// once the listing comes, the check goes on and finds everything.
TEST_F(LiveWindowTest, WindowStaysLiveWhileAReadBlocks) {
  TickDrives({0, 2});
  Every10Ms([&] {
    FirstBlockedTick();
    if (blockedAt && MsSince(*blockedAt) >= 10000) volume->Release();
  });
  Check(30000);
  ASSERT_TRUE(blockedAt.has_value());
  EXPECT_GE(MsSince(*blockedAt), 10000);
  EXPECT_LT(longestGap, 100);
  EXPECT_EQ(Findings(),
            QStringList({At("/c/c1.tmp"), At("/f/a.tmp"), At("/f/blk/in.tmp"), At("/f/z.tmp")}));
  EXPECT_EQ(FindForm->StatusBarText(2), "Total size: 7 bytes");
}

// Stop while a listing blocks ends the check at once with what was found before it; the reader
// stuck in the kernel is left behind, and the next checks, with readers of their own, find what
// they should, on other drives at once and on the same one once it answers again.
TEST_F(LiveWindowTest, StopDuringABlockedReadEndsTheCheckAtOnce) {
  TickDrives({0, 1, 2});
  std::optional<Clock::time_point> stoppedAt;
  Every10Ms([&] {
    // The listing of blk blocks, and the walk has come up to it.
    if (!stoppedAt && volume->Blocked() >= 1 && Findings().contains(At("/f/a.tmp"))) {
      stoppedAt = Clock::now();
      FindForm->StopButton->click();
    }
  });
  Check();
  ticker.stop();
  ASSERT_TRUE(stoppedAt.has_value());
  // Check() returns once the window shows the finished text.
  EXPECT_LT(MsSince(*stoppedAt), 200);
  EXPECT_EQ(Findings(), QStringList({At("/c/c1.tmp"), At("/e/e1.tmp"), At("/f/a.tmp")}));
  EXPECT_EQ(volume->Blocked(), 1);

  FindForm->CloseButton->click();
  MainForm->DriveListBox->item(2)->setCheckState(Qt::Unchecked);
  Check();
  EXPECT_EQ(Findings(), QStringList({At("/c/c1.tmp"), At("/e/e1.tmp")}));

  volume->Release();
  FindForm->CloseButton->click();
  TickDrives({2});
  Check();
  EXPECT_EQ(Findings(), QStringList({At("/c/c1.tmp"), At("/e/e1.tmp"), At("/f/a.tmp"),
                                     At("/f/blk/in.tmp"), At("/f/z.tmp")}));
}

// Drive F holds a file whose removal blocks until the test lets it.
class BlockingRemovalTest : public LiveWindowTest {
 protected:
  std::string Tree() const override { return "f a.tmp 1\nu slow.tmp 2\nf z.tmp 3\n"; }
};

class PaintCounter : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return QObject::eventFilter(watched, event);
  }
  int paints = 0;
};

// While a removal blocks, the window paints and moves, the bar shows the deletion so far (the
// file below done: a third), a close is refused; what the removal finally returns decides.
TEST_F(BlockingRemovalTest, WindowPaintsWhileARemovalBlocks) {
  TickDrives({2});
  Check();
  ASSERT_EQ(Findings(), QStringList({At("/f/a.tmp"), At("/f/slow.tmp"), At("/f/z.tmp")}));
  FindForm->SelectAllButton->click();
  PaintCounter counter;
  FindForm->installEventFilter(&counter);
  int paintsBefore = 0;
  int barWhileBlocked = -1;
  bool released = false;
  bool visibleAfterClose = false;
  Every10Ms([&] {
    if (FirstBlockedTick()) {
      paintsBefore = counter.paints;
      FindForm->close();
      visibleAfterClose = FindForm->isVisible();
      FindForm->move(FindForm->x() + 5, FindForm->y());
    }
    if (blockedAt && !released) {
      FindForm->update();
      barWhileBlocked = FindForm->ProgressBar->value();
      // What the bar shows once the removal returns is no longer "while blocked".
      if (MsSince(*blockedAt) >= 1500) {
        volume->Release();
        released = true;
      }
    }
  });
  FindForm->DeleteButton->click();
  ticker.stop();
  FindForm->removeEventFilter(&counter);
  ASSERT_TRUE(blockedAt.has_value());
  EXPECT_LT(longestGap, 100);
  EXPECT_GT(counter.paints, paintsBefore);
  EXPECT_TRUE(visibleAfterClose);
  EXPECT_EQ(barWhileBlocked, 33);
  EXPECT_EQ(Findings(), QStringList());
  EXPECT_EQ(FindForm->StatusCaption(), " Deleted files 3 of 3");
}

// Drive F holds a file that the check measures but whose size cannot be taken afterwards.
class BlockingMeasureTest : public LiveWindowTest {
 protected:
  std::string Tree() const override { return "f a.tmp 1\ns late.tmp 2\n"; }
};

// After a Delete command the total is measured afresh while the volume does not answer: the
// window paints and moves meanwhile, and shows the total once the volume answers.
TEST_F(BlockingMeasureTest, WindowStaysLiveWhileTheTotalIsMeasured) {
  TickDrives({0, 2});
  Check();
  ASSERT_EQ(Findings(), QStringList({At("/c/c1.tmp"), At("/f/a.tmp"), At("/f/late.tmp")}));
  UserTick(0, true);
  volume->BlockStats();
  PaintCounter counter;
  FindForm->installEventFilter(&counter);
  int paintsBefore = 0;
  Every10Ms([&] {
    if (FirstBlockedTick()) {
      paintsBefore = counter.paints;
      FindForm->move(FindForm->x() + 5, FindForm->y());
    }
    if (blockedAt) FindForm->update();
    if (blockedAt && MsSince(*blockedAt) >= 1000) volume->Release();
  });
  FindForm->DeleteButton->click();
  ticker.stop();
  FindForm->removeEventFilter(&counter);
  ASSERT_TRUE(blockedAt.has_value());
  EXPECT_GE(MsSince(*blockedAt), 1000);
  EXPECT_LT(longestGap, 100);
  EXPECT_GT(counter.paints, paintsBefore);
  EXPECT_EQ(Findings(), QStringList({At("/f/a.tmp"), At("/f/late.tmp")}));
  EXPECT_EQ(FindForm->StatusBarText(2), "Total size: 3 bytes");
}

}  // namespace
