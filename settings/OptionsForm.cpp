#include "settings/OptionsForm.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QToolButton>
#include <algorithm>
#include <vector>

#include "app/Forms.h"
#include "app/MainForm.h"
#include "platform/MessageBox.h"
#include "settings/AddExceptionForm.h"
#include "settings/AddMaskForm.h"
#include "settings/ListBox.h"
#include "settings/ListFile.h"
#include "settings/PageControl.h"

namespace {

const QString kAutoCheckHD = QStringLiteral("AutoCheckHD");
const QString kAutoCheckFF = QStringLiteral("AutoCheckFF");
const QString kCheckTemp = QStringLiteral("CheckTemp");
const QString kCheckITemp = QStringLiteral("CheckITemp");
const QString kUseTrash = QStringLiteral("UseTrash");
const QString kLanguageValue = QStringLiteral("Language");

// One group of reads or writes on the options key: opened here, closed when the group ends,
// also when a read fails.
class OptionsKeyGroup {
 public:
  explicit OptionsKeyGroup(TRegistry& registry) : registry_(registry) {
    registry_.SetRoot();
    registry_.OpenKey(kOptionsKey, true);
  }
  ~OptionsKeyGroup() { registry_.CloseKey(); }
  OptionsKeyGroup(const OptionsKeyGroup&) = delete;
  OptionsKeyGroup& operator=(const OptionsKeyGroup&) = delete;

 private:
  TRegistry& registry_;
};

// A flat image button that never takes the focus, with its normal and disabled image.
QToolButton* NewImageButton(QWidget* parent, const char* name, const QString& image,
                            const QRect& geometry) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  QIcon icon;
  icon.addFile(QStringLiteral(":/images/%1.png").arg(image), QSize(), QIcon::Normal);
  icon.addFile(QStringLiteral(":/images/%1-disabled.png").arg(image), QSize(), QIcon::Disabled);
  button->setIcon(icon);
  button->setIconSize(icon.availableSizes().value(0));
  button->setGeometry(geometry);
  return button;
}

QLabel* NewStatusPanel(QWidget* parent, const char* name, const QRect& geometry) {
  auto* panel = new QLabel(parent);
  panel->setObjectName(QString::fromLatin1(name));
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  panel->setIndent(2);
  panel->setGeometry(geometry);
  return panel;
}

QListWidget* NewListBox(QWidget* parent, const char* name, const QRect& geometry,
                        QAbstractItemView::SelectionMode mode) {
  auto* box = new QListWidget(parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setSelectionMode(mode);
  box->setUniformItemSizes(true);
  box->setStyleSheet(QStringLiteral("QListWidget::item { height: 13px; }"));
  box->setGeometry(geometry);
  return box;
}

QCheckBox* NewCheckBox(QWidget* parent, const char* name, int top) {
  auto* box = new QCheckBox(parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setGeometry(8, top, 281, 17);
  return box;
}

// The boxes are 281 wide, and wider where the desktop's font or a translation needs it.
void SetCheckBoxText(QCheckBox* box, const QString& text) {
  box->setText(text);
  box->resize(std::max(281, box->sizeHint().width()), 17);
}

// Enabled at the first selected entry, disabled for every unselected entry passed before it:
// so an empty list leaves the button as it was.
void UpdateRemoveButton(const QListWidget* box, QToolButton* button) {
  for (int row = 0; row < box->count(); ++row) {
    if (box->item(row)->isSelected()) {
      button->setEnabled(true);
      return;
    }
    button->setEnabled(false);
  }
}

// Removes every selected entry, from the top, one at a time. The entries are taken before the
// first removal, so an entry that becomes current after a removal is never taken for selected.
template <typename AfterEach>
void RemoveSelected(QListWidget* box, AfterEach afterEach) {
  std::vector<QListWidgetItem*> selected;
  for (int row = 0; row < box->count(); ++row)
    if (box->item(row)->isSelected()) selected.push_back(box->item(row));
  const QSignalBlocker blocker(box);
  for (QListWidgetItem* item : selected) {
    delete box->takeItem(box->row(item));
    afterEach();
  }
  // A one-choice list selects the next entry as it loses the current one: a second click
  // would remove that too.
  box->clearSelection();
}

}  // namespace

TOptionsForm::TOptionsForm(QWidget* parent) : TModalForm(parent) {
  setObjectName(QStringLiteral("OptionsForm"));
  BuildLayout();
  ConnectHandlers();
  RunGuarded([this] { FormCreate(); });
}

void TOptionsForm::BuildLayout() {
  setFixedSize(360, 305);

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setGeometry(0, 305 - 39, 360, 39);
  auto* innerBevel = new QFrame(Panel1);
  innerBevel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  innerBevel->setGeometry(1, 1, 358, 37);
  OKButton = NewImageButton(Panel1, "OKButton", QStringLiteral("ok"), QRect(322, 3, 35, 33));

  PageControl1 = new TPageControl(this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  PageControl1->setGeometry(0, 0, 360, 305 - 39);

  BuildListsPage();
  BuildSwitchesPage();
  BuildLanguagePage();
}

void TOptionsForm::BuildListsPage() {
  TabSheet1 = new QWidget;
  TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
  PageControl1->addTab(TabSheet1, QString());

  GroupBox1 = new QGroupBox(TabSheet1);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setFixedWidth(172);
  AddButton = NewImageButton(GroupBox1, "AddButton", QStringLiteral("add"), QRect(8, 17, 28, 27));
  RemoveButton =
      NewImageButton(GroupBox1, "RemoveButton", QStringLiteral("remove"), QRect(37, 17, 28, 27));
  MaskBox = NewListBox(GroupBox1, "MaskBox", QRect(2, 45, 168, 170),
                       QAbstractItemView::ExtendedSelection);
  StatusPanel = NewStatusPanel(GroupBox1, "StatusPanel", QRect(2, 215, 168, 18));

  GroupBox3 = new QGroupBox(TabSheet1);
  GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
  GroupBox3->setFixedWidth(180);
  AddExButton =
      NewImageButton(GroupBox3, "AddExButton", QStringLiteral("add"), QRect(8, 17, 27, 27));
  RemoveExButton =
      NewImageButton(GroupBox3, "RemoveExButton", QStringLiteral("remove"), QRect(35, 17, 27, 27));
  ExceptionsBox = NewListBox(GroupBox3, "ExceptionsBox", QRect(2, 45, 176, 170),
                             QAbstractItemView::SingleSelection);
  StatusPanel2 = NewStatusPanel(GroupBox3, "StatusPanel2", QRect(2, 215, 176, 18));

  auto* layout = new QHBoxLayout(TabSheet1);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(GroupBox1);
  layout->addWidget(GroupBox3);
  layout->addStretch();
}

void TOptionsForm::BuildSwitchesPage() {
  TabSheet2 = new QWidget;
  TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
  PageControl1->addTab(TabSheet2, QString());
  DrivesCheckBox = NewCheckBox(TabSheet2, "DrivesCheckBox", 8);
  FoundedCheckBox = NewCheckBox(TabSheet2, "FoundedCheckBox", 32);
  ITempCheckBox = NewCheckBox(TabSheet2, "ITempCheckBox", 56);
  TempCheckBox = NewCheckBox(TabSheet2, "TempCheckBox", 80);
  TrashCheckBox = NewCheckBox(TabSheet2, "TrashCheckBox", 104);
  // The keyboard visits Temp before ITemp, unlike the order on the page.
  setTabOrder(DrivesCheckBox, FoundedCheckBox);
  setTabOrder(FoundedCheckBox, TempCheckBox);
  setTabOrder(TempCheckBox, ITempCheckBox);
  setTabOrder(ITempCheckBox, TrashCheckBox);
}

void TOptionsForm::BuildLanguagePage() {
  TabSheet3 = new QWidget;
  TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
  PageControl1->addTab(TabSheet3, QString());
  LangLabel = new QLabel(TabSheet3);
  LangLabel->setObjectName(QStringLiteral("LangLabel"));
  LangLabel->move(9, 9);
  LangComboBox = new QComboBox(TabSheet3);
  LangComboBox->setObjectName(QStringLiteral("LangComboBox"));
  LangComboBox->setEditable(true);
  LangComboBox->setInsertPolicy(QComboBox::NoInsert);
  LangComboBox->setGeometry(80, 6, 145, 21);
  // The whole list drops down while the user types; nothing is completed for him.
  auto* dropDown = new QCompleter(LangComboBox->model(), LangComboBox);
  dropDown->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
  LangComboBox->setCompleter(dropDown);
}

void TOptionsForm::ConnectHandlers() {
  const auto guarded = [this](void (TOptionsForm::*handler)()) {
    return [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); };
  };
  connect(OKButton, &QToolButton::clicked, this, guarded(&TOptionsForm::OKButtonClick));
  connect(AddButton, &QToolButton::clicked, this, guarded(&TOptionsForm::AddButtonClick));
  connect(RemoveButton, &QToolButton::clicked, this, guarded(&TOptionsForm::RemoveButtonClick));
  connect(AddExButton, &QToolButton::clicked, this, guarded(&TOptionsForm::AddExButtonClick));
  connect(RemoveExButton, &QToolButton::clicked, this, guarded(&TOptionsForm::RemoveExButtonClick));
  connect(MaskBox, &QListWidget::itemSelectionChanged, this, guarded(&TOptionsForm::MaskBoxClick));
  connect(ExceptionsBox, &QListWidget::itemSelectionChanged, this,
          guarded(&TOptionsForm::ExceptionsBoxClick));
  connect(DrivesCheckBox, &QCheckBox::toggled, this, guarded(&TOptionsForm::DrivesCheckBoxClick));
  connect(FoundedCheckBox, &QCheckBox::toggled, this, guarded(&TOptionsForm::FoundedCheckBoxClick));
  connect(TempCheckBox, &QCheckBox::toggled, this, guarded(&TOptionsForm::TempCheckBoxClick));
  connect(ITempCheckBox, &QCheckBox::toggled, this, guarded(&TOptionsForm::ITempCheckBoxClick));
  connect(TrashCheckBox, &QCheckBox::toggled, this, guarded(&TOptionsForm::TrashCheckBoxClick));
}

void TOptionsForm::FormCreate() {
  Registry.SetRoot();
  Language.OpenLanguageFile(Registry);
}

void TOptionsForm::FormActivate() {
  // 1. OK sits 3 pixels from the panel's right edge.
  OKButton->move(Panel1->width() - OKButton->width() - 3, OKButton->y());

  // 2. The language files as they are now.
  LangComboBox->clear();
  QStringList languageFiles;
  ListLanguageFiles(languageFiles, kLanguageDir, Language,
                    [] { QCoreApplication::processEvents(); });
  LangComboBox->addItems(languageFiles);
  LangComboBox->setCurrentIndex(-1);
  LangComboBox->clearEditText();

  // 3. The stored language, only when its file is still there.
  {
    const OptionsKeyGroup group(Registry);
    if (Registry.ValueExists(kLanguageValue)) {
      const QString value = Registry.ReadString(kLanguageValue);
      if (ListFileExists(kLanguageDir + u'/' + value)) LangComboBox->setEditText(value);
    }
  }

  // 4. Texts through the handle opened at creation or at the last OK.
  ApplyLanguage();

  // 5. The switches; a value other than 0 or 1 leaves its box as it is.
  ReadSwitch(DrivesCheckBox, kAutoCheckHD, &TOptionsForm::DrivesCheckBoxClick);
  ReadSwitch(FoundedCheckBox, kAutoCheckFF, &TOptionsForm::FoundedCheckBoxClick);
  ReadSwitch(TempCheckBox, kCheckTemp, &TOptionsForm::TempCheckBoxClick);
  ReadSwitch(ITempCheckBox, kCheckITemp, &TOptionsForm::ITempCheckBoxClick);
  ReadSwitch(TrashCheckBox, kUseTrash, &TOptionsForm::TrashCheckBoxClick);

  // 6. The lists page, whatever page was showing at the last close.
  PageControl1->setCurrentIndex(0);

  // 7. The lists from their files; a missing file leaves its list as it is.
  {
    const QSignalBlocker maskBlocker(MaskBox);
    const QSignalBlocker exceptionsBlocker(ExceptionsBox);
    if (ListFileExists(kMasksFileName)) LoadListBox(MaskBox, kMasksFileName);
    if (ListFileExists(kExceptionsFileName)) LoadListBox(ExceptionsBox, kExceptionsFileName);
  }

  // 8., 9.
  RemoveButton->setEnabled(false);
  RemoveExButton->setEnabled(false);
  UpdateTotals();
}

void TOptionsForm::ReadSwitch(QCheckBox* box, const QString& valueName,
                              void (TOptionsForm::*handler)()) {
  bool known = false;
  bool ticked = false;
  {
    const OptionsKeyGroup group(Registry);
    if (Registry.ValueExists(valueName)) {
      const std::int32_t value = Registry.ReadInteger(valueName);
      known = value == 0 || value == 1;
      ticked = value == 1;
    }
  }
  if (!known || box->isChecked() == ticked) return;
  {
    const QSignalBlocker blocker(box);
    box->setChecked(ticked);
  }
  // The box's handler runs as for a click and writes back what was read; called directly, so
  // that its failure ends this activation.
  (this->*handler)();
}

void TOptionsForm::ApplyLanguage() {
  setWindowTitle(Tr(Language, Txt::Options_Title));
  GroupBox1->setTitle(u' ' + Tr(Language, Txt::Options_Bar1Title) + u' ');
  GroupBox3->setTitle(u' ' + Tr(Language, Txt::Options_Bar3Title) + u' ');
  AddButton->setToolTip(Tr(Language, Txt::Options_AddHint));
  RemoveButton->setToolTip(Tr(Language, Txt::Options_RemoveHint));
  AddExButton->setToolTip(Tr(Language, Txt::Options_AddExHint));
  RemoveExButton->setToolTip(Tr(Language, Txt::Options_RemoveExHint));
  OKButton->setToolTip(Tr(Language, Txt::Options_OKHint));
  SetCheckBoxText(DrivesCheckBox, Tr(Language, Txt::Options_DrivesAutoCheck));
  SetCheckBoxText(FoundedCheckBox, Tr(Language, Txt::Options_FoundedAutoCheck));
  LangLabel->setText(Tr(Language, Txt::Options_LanguageTitle) + u':');
  LangLabel->adjustSize();
  PageControl1->setTabText(0, Tr(Language, Txt::Options_Masks));
  PageControl1->setTabText(1, Tr(Language, Txt::Options_Properties));
  PageControl1->setTabText(2, Tr(Language, Txt::Options_Language));
  SetCheckBoxText(ITempCheckBox, Tr(Language, Txt::Options_ITemp));
  SetCheckBoxText(TempCheckBox, Tr(Language, Txt::Options_Temp));
  SetCheckBoxText(TrashCheckBox, Tr(Language, Txt::Options_UseTrash));
}

void TOptionsForm::UpdateTotals() {
  StatusPanel->setText(Tr(Language, Txt::Options_TotalMasks) + QStringLiteral(": ") +
                       QString::number(MaskBox->count()));
  StatusPanel2->setText(Tr(Language, Txt::Options_Exceptions) + QStringLiteral(": ") +
                        QString::number(ExceptionsBox->count()));
}

void TOptionsForm::MaskBoxClick() {
  UpdateRemoveButton(MaskBox, RemoveButton);
  UpdateTotals();
}

void TOptionsForm::ExceptionsBoxClick() {
  UpdateRemoveButton(ExceptionsBox, RemoveExButton);
  UpdateTotals();
}

void TOptionsForm::RemoveButtonClick() {
  RemoveSelected(MaskBox, [this] { UpdateTotals(); });
}

void TOptionsForm::RemoveExButtonClick() {
  RemoveSelected(ExceptionsBox, [this] { UpdateTotals(); });
}

void TOptionsForm::AddButtonClick() {
  AddMaskForm->exec();
}

void TOptionsForm::AddExButtonClick() {
  AddExceptionForm->exec();
}

void TOptionsForm::WriteSwitch(const QCheckBox* box, const QString& valueName) {
  const OptionsKeyGroup group(Registry);
  Registry.WriteInteger(valueName, box->isChecked() ? 1 : 0);
}

void TOptionsForm::DrivesCheckBoxClick() {
  WriteSwitch(DrivesCheckBox, kAutoCheckHD);
}

void TOptionsForm::FoundedCheckBoxClick() {
  WriteSwitch(FoundedCheckBox, kAutoCheckFF);
}

void TOptionsForm::TempCheckBoxClick() {
  WriteSwitch(TempCheckBox, kCheckTemp);
}

void TOptionsForm::ITempCheckBoxClick() {
  WriteSwitch(ITempCheckBox, kCheckITemp);
}

void TOptionsForm::TrashCheckBoxClick() {
  WriteSwitch(TrashCheckBox, kUseTrash);
}

void TOptionsForm::OKButtonClick() {
  SaveListBox(MaskBox, kMasksFileName);
  SaveListBox(ExceptionsBox, kExceptionsFileName);
  {
    const OptionsKeyGroup group(Registry);
    Registry.WriteString(kLanguageValue, LangComboBox->currentText());
  }
  Language.OpenLanguageFile(Registry);
  RefreshMainWindowTexts();
  accept();
}

void TOptionsForm::RefreshMainWindowTexts() {
  MainForm->DriveLabel->setText(Tr(Language, Txt::Main_DriveLabel) + u':');
  MainForm->Start1->setText(Tr(Language, Txt::Main_Start));
  MainForm->Exit1->setText(Tr(Language, Txt::Main_Exit));
  MainForm->Options1->setText(Tr(Language, Txt::Main_Options));
  MainForm->FormCreate();
}
