#pragma once

#include "i18n/Catalogue.h"
#include "i18n/LanguageFile.h"
#include "platform/ModalForm.h"
#include "settings/Registry.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QListWidget;
class TPageControl;
class QToolButton;
class QWidget;

// The options window. Its MaskBox and ExceptionsBox are the program's mask list and exception
// list for the whole run, whether the window is shown or not; the five switches are written the
// moment they are ticked; the lists and the language only by OK.
class TOptionsForm : public TModalForm {
 public:
  explicit TOptionsForm(QWidget* parent = nullptr);

  void FormCreate();
  // Runs once per showing; a failure ends it at the failing step and the window stays open.
  void FormActivate() override;
  void ApplyLanguage();
  void UpdateTotals();
  void MaskBoxClick();
  void ExceptionsBoxClick();
  void RemoveButtonClick();
  void RemoveExButtonClick();
  void AddButtonClick();
  void AddExButtonClick();
  void DrivesCheckBoxClick();
  void FoundedCheckBoxClick();
  void TempCheckBoxClick();
  void ITempCheckBoxClick();
  void TrashCheckBoxClick();
  // Saves both list files, stores the language, refreshes the main window and closes. A
  // failure (a list file that cannot be created, the main window's rebuild) propagates and
  // leaves the window open with the steps before it done.
  void OKButtonClick();
  // Sets the main window's drive label and three menu captions through this window's handle,
  // then rebuilds the main window (its FormCreate; a failure propagates).
  void RefreshMainWindowTexts();

  QFrame* Panel1;
  QToolButton* OKButton;
  TPageControl* PageControl1;
  QWidget* TabSheet1;
  QWidget* TabSheet2;
  QWidget* TabSheet3;
  QGroupBox* GroupBox1;
  QToolButton* AddButton;
  QToolButton* RemoveButton;
  QListWidget* MaskBox;  // several entries can be selected
  QLabel* StatusPanel;
  QGroupBox* GroupBox3;
  QToolButton* AddExButton;
  QToolButton* RemoveExButton;
  QListWidget* ExceptionsBox;  // one entry selected at a time
  QLabel* StatusPanel2;
  QCheckBox* DrivesCheckBox;
  QCheckBox* FoundedCheckBox;
  QCheckBox* ITempCheckBox;
  QCheckBox* TempCheckBox;
  QCheckBox* TrashCheckBox;
  QLabel* LangLabel;
  QComboBox* LangComboBox;

  TRegistry Registry;
  TLanguageFile Language;

 protected:
 private:
  void BuildLayout();
  void BuildListsPage();
  void BuildSwitchesPage();
  void BuildLanguagePage();
  void ConnectHandlers();
  void ReadSwitch(QCheckBox* box, const QString& valueName, void (TOptionsForm::*handler)());
  void WriteSwitch(const QCheckBox* box, const QString& valueName);
};
