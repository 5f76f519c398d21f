#include "settings/AddEntryForm.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <limits>

#include "platform/MessageBox.h"
#include "settings/ListBox.h"

namespace {

// The refusal of an entry that a list file could not hold as one line; not translated, as no
// language file has it.
constexpr char kLineBreakText[] = "An entry cannot contain a line break or a NUL character";

}  // namespace

TAddEntryForm::TAddEntryForm(const AddEntryKind& kind, QWidget* parent)
    : TModalForm(parent), kind_(kind) {
  BuildLayout();
  RunGuarded([this] { FormCreate(); });
}

void TAddEntryForm::BuildLayout() {
  setFixedSize(385, 80);

  Label1 = new QLabel(this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->move(8, 8);

  edit_ = new QLineEdit(this);
  edit_->setObjectName(QString::fromLatin1(kind_.editName));
  edit_->setGeometry(8, 24, 369, 21);
  // An entry has no length limit (the edit's own would cut a pasted text without a word).
  edit_->setMaxLength(std::numeric_limits<int>::max());

  OKButton = new QPushButton(this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setGeometry(222, 50, kind_.okButtonWidth, 25);
  OKButton->setDefault(true);

  CancelButton = new QPushButton(this);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));
  CancelButton->setGeometry(302, 50, 75, 25);

  if (kind_.okButtonFirst) {
    setTabOrder(OKButton, CancelButton);
    setTabOrder(CancelButton, edit_);
  } else {
    setTabOrder(edit_, OKButton);
    setTabOrder(OKButton, CancelButton);
  }
  if (!kind_.buttonHintsShown) {
    OKButton->installEventFilter(this);
    CancelButton->installEventFilter(this);
  }

  connect(OKButton, &QPushButton::clicked, this,
          [this] { RunGuarded([this] { OKButtonClick(); }); });
  connect(CancelButton, &QPushButton::clicked, this,
          [this] { RunGuarded([this] { CancelButtonClick(); }); });
}

void TAddEntryForm::FormCreate() {
  Registry.SetRoot();
  Language.OpenLanguageFile(Registry);
}

void TAddEntryForm::FormActivate() {
  Language.OpenLanguageFile(Registry);
  ApplyLanguage();
}

void TAddEntryForm::ApplyLanguage() {
  setWindowTitle(Tr(Language, kind_.title));
  Label1->setText(Tr(Language, kind_.label) + u':');
  Label1->adjustSize();
  OKButton->setText(Tr(Language, kind_.ok));
  CancelButton->setText(Tr(Language, kind_.cancel));
  edit_->setToolTip(Tr(Language, kind_.fieldHint));
  OKButton->setToolTip(Tr(Language, kind_.okHint));
  CancelButton->setToolTip(Tr(Language, kind_.cancelHint));
}

void TAddEntryForm::OKButtonClick() {
  const QString text = edit_->text();
  if (text.isEmpty()) {
    ShowMessageBox(Tr(Language, kind_.emptyTitle), Tr(Language, kind_.emptyText) + u'.',
                   MessageIcon::Warning);
    return;
  }
  // The list files hold one entry per line: a line break would turn one entry into two on the
  // next save (a "*" smuggled in with a pasted text), and a NUL would cut it short.
  if (text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(u'\0'))) {
    ShowMessageBox(Tr(Language, kind_.emptyTitle), QString::fromLatin1(kLineBreakText) + u'.',
                   MessageIcon::Warning);
    return;
  }
  QListWidget* list = TargetList();
  if (ListBoxEntries(list).contains(text, Qt::CaseSensitive)) {
    ShowMessageBox(Tr(Language, kind_.duplicateTitle), Tr(Language, kind_.duplicateText) + u'!',
                   MessageIcon::Warning);
    return;
  }
  {
    // Not a selection change of the user's: the options window must not react to it.
    const QSignalBlocker blocker(list);
    InsertSorted(list, text);
  }
  TargetPanel()->setText(Tr(Language, kind_.totalLabel) + QStringLiteral(": ") +
                         QString::number(list->count()));
  accept();
}

void TAddEntryForm::CancelButtonClick() {
  reject();
}

void TAddEntryForm::showEvent(QShowEvent* event) {
  TModalForm::showEvent(event);
  if (event->spontaneous()) return;
  (kind_.okButtonFirst ? static_cast<QWidget*>(OKButton) : edit_)->setFocus();
}

bool TAddEntryForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ToolTip && (watched == OKButton || watched == CancelButton))
    return true;
  return QDialog::eventFilter(watched, event);
}
