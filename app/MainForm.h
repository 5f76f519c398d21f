#pragma once

#include <QMainWindow>

#include "i18n/Catalogue.h"
#include "i18n/LanguageFile.h"
#include "platform/FramePlacement.h"
#include "settings/Registry.h"

class QAction;
class QFrame;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;

// The drive letter of a drive entry ("Hard Drive C:" gives 'C'): its second-to-last character.
QChar DriveLetterOf(const QString& entry);

// The kind label of a drive entry: the text without its last three characters.
QString DriveKindLabelOf(const QString& entry);

// The main window: the drive list, the menu, and the start of a check.
class TMainForm : public QMainWindow {
 public:
  explicit TMainForm(QWidget* parent = nullptr);

  // Builds or rebuilds the window's whole state: texts, drive list, AutoCheckHD, the
  // command-line switch. The options window runs it again after applying its settings; a
  // failure propagates to the caller.
  void FormCreate();

  void FormActivate();
  void DriveListBoxClickCheck();
  void Start1Click();
  void StartButtonClick();  // bound to nothing
  void Options1Click();
  void About1Click();
  void Exit1Click();

  void ApplyLanguage();
  void SelectAllDrives();
  void SelectDrivesByKind(const CatalogueText& kindLabel);
  void UpdateStartCommand();

  bool DriveSelected() const { return driveSelected_; }
  bool AutoStart() const { return autoStart_; }
  bool CloseAfterCheck() const { return closeAfterCheck_; }

  QFrame* DrivePanel;
  QLabel* DriveLabel;
  QListWidget* DriveListBox;
  QMenu* Action1;
  QAction* Start1;
  QAction* N2;
  QAction* Exit1;
  QAction* Options1;
  QMenu* N1;
  QAction* Help1;
  QAction* N3;
  QAction* About1;

  TRegistry Registry;
  TLanguageFile Language;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildLayout();
  void BuildMenu();
  void FillDriveList();
  void SetTicked(QListWidgetItem* item, bool ticked);
  void SetSwitchFlags();

  bool driveSelected_ = false;
  bool autoStart_ = false;
  bool closeAfterCheck_ = false;
  bool activated_ = false;
  FramePlacement placement_{this};
};
