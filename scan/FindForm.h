#pragma once

#include <QAbstractButton>
#include <QDialog>
#include <QEventLoop>
#include <QString>
#include <array>
#include <chrono>
#include <memory>

#include "i18n/LanguageFile.h"
#include "platform/ModalForm.h"
#include "platform/WakeUp.h"
#include "platform/WindowFrame.h"
#include "scan/ExceptionsFile.h"
#include "scan/HelperClient.h"
#include "scan/ResultList.h"
#include "settings/Registry.h"

class QFrame;
class QLabel;
class QTableView;
class QProgressBar;
class QToolButton;

// The find window: runs one check each time it is shown (FormActivate), then lets the user pick
// findings and delete them. The walking, the result list and the deletion loop live in plain
// classes (TScanner, TResultList, DeleteTickedEntries); this window shows them.
//
// Without a display (IsHeadless) it also writes, on standard output, the three status texts at
// the end of every check and, after every Delete, each entry it marked and the three texts
// again. With --dry-run the Delete command only prints the ticked paths.
class TFindForm : public TModalForm {
 public:
  explicit TFindForm(QWidget* parent = nullptr);
  ~TFindForm() override;

  void FormCreate();
  // The check. Runs once per showing, queued from the show; a failure ends it where it
  // happens (the caller shows the error box) and leaves the window closable.
  void FormActivate() override;
  void ApplyLanguage();
  void ArrangeControls();
  void FormResize();
  void StopButtonClick();
  void CloseButtonClick();
  // Hides the window (ending the modal showing) and saves its geometry; only when CanClose.
  void FormClose();

  void TempFileListClickCheck();
  void UncheckFailedEntries();
  void SelectAllButtonClick();
  void UnselectButtonClick();
  void InvertSelectionButtonClick();
  void DeleteButtonClick();
  // Measures the listed files afresh and shows the total in status panel 2.
  void ShowTotalSize();
  // Runs the event loop until wake is raised (or Stop is pressed, or the timeout passes); false
  // when the loop was ended otherwise: the program is ending.
  // flags: which events the loop handles meanwhile (a deletion leaves the user's input queued).
  bool WaitFor(TWakeUp& wake, std::chrono::milliseconds timeout,
               QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);

  // Empties TempFileList (the main window's start command calls it before each showing).
  void ClearTempFileList();

  // Texts as shown, for the window's users and tests.
  QString StatusCaption() const;
  QString StatusBarText(int panel) const;

  QFrame* BGPanel;
  QToolButton* DeleteButton;
  QAbstractButton* StopButton;
  QToolButton* CloseButton;
  QToolButton* SelectAllButton;
  QToolButton* UnselectButton;
  QToolButton* InvertSelectionButton;
  QLabel* StatusPanel;  // its text is the panel's caption; holds ProgressBar
  QProgressBar* ProgressBar;
  QTableView* TempFileList;    // the entries of TempFileModel, one column
  TResultList* TempFileModel;  // TempFileList's entries and ticks
  QFrame* StatusBar;
  std::array<QLabel*, 3> StatusBarPanels;

  TRegistry Registry;
  TLanguageFile Language;

  bool CanClose = true;
  qsizetype FoundCount = 0;
  bool StopRequested = false;
  QString CacheFolder;

  // How often, at most, a check or deletion refreshes the display and handles events; tests
  // set zero to act at every point.
  std::chrono::steady_clock::duration EventInterval = std::chrono::milliseconds(16);

 protected:
  void PlaceOnShow() override;
  void resizeEvent(QResizeEvent* event) override;
  // Each showing runs a check: from the show on, closing waits for its end.
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void done(int result) override;

 private:
  class ScanView;
  class DeletionView;

  void BuildLayout();
  QToolButton* MakeButton(int left, int width, const QIcon& icon);
  void RunChecks();
  void EndFailedCheck();
  bool SwitchOn(const QString& name);
  // Closing waits, and Delete, Close and the selection buttons are off: from the show and at the
  // check's start.
  void EnterCheckingState();
  void SetSelectionButtons(bool enabled);
  void ReportCheck();
  // Sets the minimum size and the place from frame_, for a frame of these margins.
  void ApplyFrame(const QMargins& margins);

  // The file system helper of the current check, for its deletions and totals too; a new one
  // when it is gone.
  const std::shared_ptr<THelperClient>& Helper();

  TExceptionsFile exceptions_;
  std::shared_ptr<THelperClient> helper_;
  // The window's frame (title bar and borders included) as the stored values and the designed
  // place give it; applied once the frame's margins are known.
  FrameGeometry frame_{QRect(232, 240, 574, 249)};
  bool placed_ = false;
  bool deleting_ = false;
  TWakeUp* activeWake_ = nullptr;  // what the window is waiting for, if anything
};
