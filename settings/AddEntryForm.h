#pragma once

#include "i18n/Catalogue.h"
#include "i18n/LanguageFile.h"
#include "platform/ModalForm.h"
#include "settings/Registry.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// Everything that sets the add-mask dialog and the add-exception dialog apart.
struct AddEntryKind {
  const char* editName;  // object name of the edit box
  // The dialog's own texts.
  CatalogueText title, label, ok, cancel, fieldHint, okHint, cancelHint;
  // The two refusals: title and text of each warning box.
  CatalogueText emptyTitle, emptyText, duplicateTitle, duplicateText;
  // The label that the options window's status panel gets after an addition.
  CatalogueText totalLabel;
  bool buttonHintsShown;  // false: the buttons' hints are set but never shown as tooltips
  bool okButtonFirst;     // keyboard order OK, Cancel, edit box, and OK focused on opening
  int okButtonWidth;
};

// The dialog both add windows are: one edit box whose text, when it is neither empty nor an
// exact duplicate, goes into a sorted list box of the options window.
class TAddEntryForm : public TModalForm {
 public:
  void FormCreate();
  void FormActivate() override;
  void ApplyLanguage();
  // Refuses an empty text, a text holding a CR, LF or NUL (with the empty-entry warning's
  // title), and a text equal, code unit for code unit, to an entry of the target list with a
  // warning box and leaves the dialog open; otherwise inserts the text at its sorted place,
  // writes the new total into the target status panel and closes.
  void OKButtonClick();
  void CancelButtonClick();

  QLabel* Label1;
  QPushButton* OKButton;
  QPushButton* CancelButton;

  TRegistry Registry;
  TLanguageFile Language;

 protected:
  TAddEntryForm(const AddEntryKind& kind, QWidget* parent);

  // The options window's list box and status panel that this dialog adds to.
  virtual QListWidget* TargetList() const = 0;
  virtual QLabel* TargetPanel() const = 0;

  QLineEdit* Edit() const { return edit_; }

  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildLayout();

  const AddEntryKind& kind_;
  QLineEdit* edit_;
};
