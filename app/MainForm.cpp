#include "app/MainForm.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QVBoxLayout>

#include "about/AboutBox.h"
#include "app/CommandLine.h"
#include "app/DriveListing.h"
#include "app/Forms.h"
#include "platform/CheckListRows.h"
#include "platform/DriveMap.h"
#include "platform/MessageBox.h"
#include "platform/ModalForm.h"
#include "scan/FindForm.h"
#include "settings/ListBox.h"
#include "settings/ListFile.h"
#include "settings/OptionsForm.h"

namespace {

// Parameter 1 is compared after turning A-Z into a-z; nothing else changes.
QString AsciiLower(QString text) {
  for (QChar& c : text)
    if (c >= u'A' && c <= u'Z') c = QChar(c.unicode() + (u'a' - u'A'));
  return text;
}

}  // namespace

QChar DriveLetterOf(const QString& entry) {
  return entry.size() >= 2 ? entry.at(entry.size() - 2) : QChar();
}

QString DriveKindLabelOf(const QString& entry) {
  return entry.size() > 3 ? entry.left(entry.size() - 3) : QString();
}

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFont(ClassicFont(8));
  BuildLayout();
  BuildMenu();
  // The window itself is fixed, at the panel's size plus the menu bar: a window manager offers
  // neither resizing nor maximizing for a window whose least and greatest sizes are equal.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  RunGuarded([this] { FormCreate(); });
}

void TMainForm::BuildLayout() {
  DrivePanel = new QFrame(this);
  DrivePanel->setObjectName(QStringLiteral("DrivePanel"));
  DrivePanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  DrivePanel->setLineWidth(1);
  DrivePanel->setBackgroundRole(QPalette::Light);
  DrivePanel->setAutoFillBackground(true);
  DrivePanel->setFixedSize(259, 136);

  DriveLabel = new QLabel(DrivePanel);
  DriveLabel->setObjectName(QStringLiteral("DriveLabel"));
  DriveLabel->setText(QStringLiteral(" Select drive:"));
  DriveLabel->setFixedHeight(13);
  DriveLabel->setBackgroundRole(QPalette::Button);
  DriveLabel->setAutoFillBackground(true);

  DriveListBox = new QListWidget(DrivePanel);
  DriveListBox->setObjectName(QStringLiteral("DriveListBox"));
  DriveListBox->setFrameStyle(QFrame::Panel | QFrame::Raised);
  DriveListBox->setUniformItemSizes(true);
  UseCheckListRows(DriveListBox);
  QPalette palette = DriveListBox->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::ToolTipBase));
  palette.setColor(QPalette::Text, palette.color(QPalette::ToolTipText));
  DriveListBox->setPalette(palette);
  connect(DriveListBox, &QListWidget::itemChanged, this,
          [this](QListWidgetItem*) { RunGuarded([this] { DriveListBoxClickCheck(); }); });

  // The panel's one-pixel bevel is all the room the label and the list leave at the edges.
  auto* layout = new QVBoxLayout(DrivePanel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(DriveLabel);
  layout->addWidget(DriveListBox);
  setCentralWidget(DrivePanel);
}

void TMainForm::BuildMenu() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("RxMainMenu1"));
  Action1 = bar->addMenu(QStringLiteral("Action"));
  Action1->setObjectName(QStringLiteral("Action1"));
  Start1 = Action1->addAction(QStringLiteral("Start checking"));
  Start1->setObjectName(QStringLiteral("Start1"));
  Start1->setEnabled(false);
  N2 = Action1->addSeparator();
  Exit1 = Action1->addAction(QStringLiteral("Exit"));
  Exit1->setObjectName(QStringLiteral("Exit1"));
  Options1 = bar->addAction(QStringLiteral("Options"));
  Options1->setObjectName(QStringLiteral("Options1"));
  N1 = bar->addMenu(QStringLiteral("?"));
  N1->setObjectName(QStringLiteral("N1"));
  Help1 = N1->addAction(QStringLiteral("Help"));
  Help1->setObjectName(QStringLiteral("Help1"));
  Help1->setVisible(false);
  N3 = N1->addSeparator();
  N3->setVisible(false);
  About1 = N1->addAction(QStringLiteral("About"));
  About1->setObjectName(QStringLiteral("About1"));

  connect(Start1, &QAction::triggered, this, [this] { RunGuarded([this] { Start1Click(); }); });
  connect(Exit1, &QAction::triggered, this, [this] { RunGuarded([this] { Exit1Click(); }); });
  connect(Options1, &QAction::triggered, this, [this] { RunGuarded([this] { Options1Click(); }); });
  connect(About1, &QAction::triggered, this, [this] { RunGuarded([this] { About1Click(); }); });
}

void TMainForm::FormCreate() {
  QCoreApplication::setApplicationName(QStringLiteral("Vantrel"));
  DriveListBox->clear();

  Registry.SetRoot();
  Registry.OpenKey(kOptionsKey, true);
  Language.OpenLanguageFile(Registry);
  Registry.CloseKey();
  ApplyLanguage();

  // The key stays open from here to the end of the AutoCheckHD step.
  Registry.OpenKey(kOptionsKey, true);
  Start1->setEnabled(false);
  setWindowTitle(QStringLiteral("Vantrel"));
  FillDriveList();

  if (!Registry.ValueExists(QStringLiteral("AutoCheckHD"))) {
    Registry.WriteInteger(QStringLiteral("AutoCheckHD"), 0);
    driveSelected_ = false;
  } else if (Registry.ReadInteger(QStringLiteral("AutoCheckHD")) == 1) {
    const QString hardDrive = Tr(Language, Txt::Main_Fixed);
    for (int i = 0; i < DriveListBox->count(); ++i) {
      QListWidgetItem* item = DriveListBox->item(i);
      if (DriveKindLabelOf(item->text()) == hardDrive) SetTicked(item, true);
    }
  }
  Registry.CloseKey();
  UpdateStartCommand();

  const QString switchText = AsciiLower(ParamStr(1));
  if (switchText == QStringLiteral("/dall")) return SelectAllDrives();
  if (switchText == QStringLiteral("/dhard")) return SelectDrivesByKind(Txt::Main_Fixed);
  if (switchText == QStringLiteral("/dram")) return SelectDrivesByKind(Txt::Main_RAM);
  if (switchText == QStringLiteral("/dremovable")) return SelectDrivesByKind(Txt::Main_Removable);
  if (switchText == QStringLiteral("/dremote")) return SelectDrivesByKind(Txt::Main_Remote);

  // Letter rule: "/d" and one letter ticks that drive's entry and unticks every other one.
  if (switchText.size() != 3 || !switchText.startsWith(QStringLiteral("/d"))) return;
  const QChar letter = switchText.at(2);
  if (letter < u'a' || letter > u'z') return;
  for (int i = 0; i < DriveListBox->count(); ++i) {
    QListWidgetItem* item = DriveListBox->item(i);
    const bool match = AsciiLower(QString(DriveLetterOf(item->text()))) == QString(letter);
    SetTicked(item, match);
    if (match) SetSwitchFlags();
  }
}

void TMainForm::FillDriveList() {
  const DriveMap& drives = DriveMap::Current();
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    const CatalogueText* kind = DriveKindText(drives.GetDriveType(letter));
    if (!kind) continue;
    const QChar upper = QChar(letter).toUpper();
    auto* item = new QListWidgetItem(Tr(Language, *kind) + u' ' + upper + u':');
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    item->setToolTip(QString::fromStdString(drives.RootOf(letter)));
    item->setSizeHint(QSize(0, CheckListRowHeight(DriveListBox)));
    const QSignalBlocker blocker(DriveListBox);
    DriveListBox->addItem(item);
  }
}

void TMainForm::SetTicked(QListWidgetItem* item, bool ticked) {
  const QSignalBlocker blocker(DriveListBox);
  item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

void TMainForm::SetSwitchFlags() {
  driveSelected_ = true;
  autoStart_ = true;
  closeAfterCheck_ = true;
}

void TMainForm::ApplyLanguage() {
  DriveLabel->setText(Tr(Language, Txt::Main_DriveLabel) + u':');
  Start1->setText(Tr(Language, Txt::Main_Start));
  Exit1->setText(Tr(Language, Txt::Main_Exit));
  Options1->setText(Tr(Language, Txt::Main_Options));
  Action1->setTitle(Tr(Language, Txt::Main_Action));
  Help1->setText(Tr(Language, Txt::Main_Help));
  About1->setText(Tr(Language, Txt::Main_About));
}

void TMainForm::SelectAllDrives() {
  for (int i = 0; i < DriveListBox->count(); ++i) SetTicked(DriveListBox->item(i), true);
  SetSwitchFlags();
}

void TMainForm::SelectDrivesByKind(const CatalogueText& kindLabel) {
  for (int i = 0; i < DriveListBox->count(); ++i) {
    QListWidgetItem* item = DriveListBox->item(i);
    SetTicked(item, DriveKindLabelOf(item->text()) == Tr(Language, kindLabel));
  }
  SetSwitchFlags();
}

void TMainForm::UpdateStartCommand() {
  for (int i = 0; i < DriveListBox->count(); ++i) {
    if (DriveListBox->item(i)->checkState() == Qt::Checked) {
      driveSelected_ = true;
      break;
    }
    driveSelected_ = false;
  }
  Start1->setEnabled(driveSelected_);
}

void TMainForm::DriveListBoxClickCheck() {
  UpdateStartCommand();
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (activated_) return;
  activated_ = true;
  RefuseMaximize(this);
  // Centred on the screen when first shown.
  placement_.Place([this](const QMargins& margins) { CentreFrameOnScreen(this, margins); });
  // The first activation runs once the window is up, inside the event loop.
  QTimer::singleShot(0, this, [this] { RunGuarded([this] { FormActivate(); }); });
}

void TMainForm::FormActivate() {
  Registry.SetRoot();
  Registry.OpenKey(kOptionsKey, true);
  Language.OpenLanguageFile(Registry);
  Registry.CloseKey();
  ApplyLanguage();
  if (autoStart_) Start1Click();
}

void TMainForm::StartButtonClick() {
  FindForm->ClearTempFileList();
  LoadListBox(OptionsForm->MaskBox, kMasksFileName);
  FindForm->StopButton->setEnabled(true);
  FindForm->exec();
}

void TMainForm::Start1Click() {
  StartButtonClick();
  if (closeAfterCheck_) close();
}

void TMainForm::Options1Click() {
  OptionsForm->exec();
  UpdateStartCommand();
}

void TMainForm::About1Click() {
  AboutBox->exec();
}

void TMainForm::Exit1Click() {
  close();
}

void TMainForm::closeEvent(QCloseEvent* event) {
  event->accept();
  // Closing the main window ends the program, also from inside a modal window's loop.
  QCoreApplication::exit(0);
}
