#include "scan/FindForm.h"

#include <time.h>

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdio>

#include "app/CommandLine.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "i18n/Catalogue.h"
#include "platform/CheckListRows.h"
#include "platform/DriveMap.h"
#include "platform/MessageBox.h"
#include "platform/ShellOpen.h"
#include "platform/StandardOutput.h"
#include "platform/Termination.h"
#include "platform/WindowFrame.h"
#include "scan/CacheFolder.h"
#include "scan/Deletion.h"
#include "scan/EventPacer.h"
#include "scan/Scanner.h"
#include "scan/StatusTexts.h"
#include "scan/TotalSize.h"
#include "settings/ListBox.h"
#include "settings/OptionsForm.h"

namespace {

constexpr int kPanel1Width = 120;
constexpr int kPanel2Width = 200;

void PrintLine(const QString& text) {
  WriteOutputLine(text);
}

// A glyph of two check boxes (ticked or not) in the style's own look, for the selection
// buttons; the disabled image shows the boxes disabled.
QIcon CheckBoxesIcon(QWidget* widget, bool upperTicked, bool lowerTicked) {
  const int side = 20;
  const int box = widget->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, widget);
  const int size = std::min(box, side / 2 + 2);
  QIcon icon;
  for (const bool enabled : {true, false}) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    for (int i = 0; i < 2; ++i) {
      QStyleOptionButton option;
      option.initFrom(widget);
      option.state = (enabled ? QStyle::State_Enabled : QStyle::State_None) |
                     ((i == 0 ? upperTicked : lowerTicked) ? QStyle::State_On : QStyle::State_Off);
      if (!enabled) option.palette.setCurrentColorGroup(QPalette::Disabled);
      option.rect = QRect(i * (side - size), i * (side - size), size, size);
      widget->style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, widget);
    }
    painter.end();
    icon.addPixmap(pixmap, enabled ? QIcon::Normal : QIcon::Disabled);
  }
  return icon;
}

class BenchStats {
 public:
  using Clock = std::chrono::steady_clock;
  void Start() {
    last_ = Clock::now();
    longest_ = Clock::duration::zero();
    events_ = 0;
  }
  void Event() {
    const Clock::time_point now = Clock::now();
    longest_ = std::max(longest_, now - last_);
    last_ = now;
    ++events_;
  }
  // With VANTREL_BENCH_STATS set, the benchmark learns how long the window went without
  // handling events during the check, and the memory it took.
  void Report() {
    Event();
    if (!qEnvironmentVariableIsSet("VANTREL_BENCH_STATS")) return;
    std::fprintf(stderr, "vantrel-stats: longest-event-gap-ms=%.1f events=%lld peak-rss-kb=%ld\n",
                 std::chrono::duration<double, std::milli>(longest_).count(),
                 static_cast<long long>(events_), PeakRssKb());
  }
  // The process's processor time so far, in milliseconds: on a shared machine it tells the
  // work done apart from the time spent waiting for a processor.
  static double CpuMs() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
  }
  static void ReportDeletion(Clock::duration took, double cpuMs, qsizetype deleted) {
    if (!qEnvironmentVariableIsSet("VANTREL_BENCH_STATS")) return;
    std::fprintf(stderr, "vantrel-stats: deletion-ms=%.1f deletion-cpu-ms=%.1f deleted=%lld\n",
                 std::chrono::duration<double, std::milli>(took).count(), cpuMs,
                 static_cast<long long>(deleted));
  }
  static long PeakRssKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
      if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
  }

 private:
  Clock::time_point last_{};
  Clock::duration longest_{};
  qint64 events_ = 0;
};

BenchStats g_stats;

}  // namespace

// What the walkers show and ask, put into this window.
class TFindForm::ScanView : public IScanView {
 public:
  explicit ScanView(TFindForm& form) : form_(form) {}
  void SetStatusCaption(const QString& text) override { form_.StatusPanel->setText(text); }
  void SetFileCountText(const QString& text) override { form_.StatusBarPanels[1]->setText(text); }
  void SetTotalSizeText(const QString& text) override { form_.StatusBarPanels[2]->setText(text); }
  void ProcessEvents() override {
    g_stats.Event();
    QCoreApplication::processEvents();
  }
  bool WaitFor(TWakeUp& wake, std::chrono::milliseconds timeout) override {
    return form_.WaitFor(wake, timeout);
  }
  // A signal that ends the program stops the check as Stop does: nothing more is checked.
  bool StopRequested() const override { return form_.StopRequested || TerminationRequested(); }
  void ShowWarning(const QString& title, const QString& text) override {
    // The check waits for the box while the find window takes Stop and ticks.
    ShowMessageBox(title, text, MessageIcon::Warning, true);
  }
  void ExceptionsLoaded(const QStringList& entries) override {
    if (OptionsForm != nullptr) SetListBoxEntries(OptionsForm->ExceptionsBox, entries);
  }
  void WouldDelete(std::string_view path) override { WriteOutputLine(path); }

 private:
  TFindForm& form_;
};

class TFindForm::DeletionView : public IDeletionView {
 public:
  explicit DeletionView(TFindForm& form) : form_(form) {}
  // A progress bar repaints itself at once whenever its value changes visibly; the new value
  // waits for the next event point, so the bar is painted at the display's pace, not per file.
  void SetProgress(int position) override { pending_ = position; }
  void ProcessEvents() override {
    ShowProgress();
    QCoreApplication::processEvents();
  }
  bool WaitFor(TWakeUp& wake, std::chrono::milliseconds timeout) override {
    // The bar shows where the deletion is, also while one removal takes long.
    ShowProgress();
    return form_.WaitFor(wake, timeout, QEventLoop::ExcludeUserInputEvents);
  }
  void ShowProgress() {
    if (pending_ < 0) return;
    form_.ProgressBar->setValue(pending_);
    pending_ = -1;
  }

 private:
  TFindForm& form_;
  int pending_ = -1;
};

TFindForm::TFindForm(QWidget* parent) : TModalForm(parent) {
  // Unlike the other modal windows this one is sizeable.
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  BuildLayout();
  // Without a display nobody sees the window: its texts change, nothing is painted.
  if (IsHeadless()) setUpdatesEnabled(false);
  RunGuarded([this] { FormCreate(); });
}

TFindForm::~TFindForm() = default;

QToolButton* TFindForm::MakeButton(int left, int width, const QIcon& icon) {
  auto* button = new QToolButton(BGPanel);
  button->setGeometry(left, 3, width, 35);
  button->setIcon(icon);
  button->setIconSize(QSize(20, 20));
  button->setAutoRaise(true);
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  button->setFocusPolicy(Qt::TabFocus);
  button->installEventFilter(this);
  return button;
}

void TFindForm::BuildLayout() {
  setObjectName(QStringLiteral("FindForm"));
  setSizeGripEnabled(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  BGPanel = new QFrame(this);
  BGPanel->setObjectName(QStringLiteral("BGPanel"));
  BGPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  BGPanel->setFixedHeight(42);
  QStyle* style = this->style();
  DeleteButton = MakeButton(7, 100, style->standardIcon(QStyle::SP_TrashIcon));
  DeleteButton->setObjectName(QStringLiteral("DeleteButton"));
  auto* stop = MakeButton(107, 100, style->standardIcon(QStyle::SP_BrowserStop));
  stop->setObjectName(QStringLiteral("StopButton"));
  StopButton = stop;
  CloseButton = MakeButton(207, 100, style->standardIcon(QStyle::SP_DialogCloseButton));
  CloseButton->setObjectName(QStringLiteral("CloseButton"));
  SelectAllButton = MakeButton(0, 35, CheckBoxesIcon(this, true, true));
  SelectAllButton->setObjectName(QStringLiteral("SelectAllButton"));
  UnselectButton = MakeButton(0, 35, CheckBoxesIcon(this, false, false));
  UnselectButton->setObjectName(QStringLiteral("UnselectButton"));
  InvertSelectionButton = MakeButton(0, 35, CheckBoxesIcon(this, true, false));
  InvertSelectionButton->setObjectName(QStringLiteral("InvertSelectionButton"));
  for (QToolButton* glyphOnly : {SelectAllButton, UnselectButton, InvertSelectionButton})
    glyphOnly->setToolButtonStyle(Qt::ToolButtonIconOnly);
  layout->addWidget(BGPanel);

  StatusPanel = new QLabel(this);
  StatusPanel->setObjectName(QStringLiteral("StatusPanel"));
  StatusPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  StatusPanel->setFixedHeight(21);
  StatusPanel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  StatusPanel->setTextFormat(Qt::PlainText);
  auto* panelLayout = new QHBoxLayout(StatusPanel);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  ProgressBar = new QProgressBar(StatusPanel);
  ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
  ProgressBar->setRange(0, 100);
  ProgressBar->setTextVisible(false);
  ProgressBar->hide();
  panelLayout->addWidget(ProgressBar);
  layout->addWidget(StatusPanel);

  TempFileModel = new TResultList(this);
  // A one-column table without grid or headers looks like a list; unlike a list view it lays
  // out rows of equal height without visiting each, so removing rows from a long list is cheap.
  TempFileList = new QTableView(this);
  TempFileList->setObjectName(QStringLiteral("TempFileList"));
  // Without a display nobody looks at the list: its view keeps nothing per entry.
  if (!IsHeadless()) TempFileList->setModel(TempFileModel);
  TempFileList->setShowGrid(false);
  TempFileList->setWordWrap(false);
  TempFileList->horizontalHeader()->hide();
  TempFileList->horizontalHeader()->setStretchLastSection(true);
  TempFileList->verticalHeader()->hide();
  TempFileList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  UseCheckListRows(TempFileList);
  TempFileList->setSelectionMode(QAbstractItemView::SingleSelection);
  TempFileList->setSelectionBehavior(QAbstractItemView::SelectRows);
  TempFileList->setTextElideMode(Qt::ElideMiddle);
  QPalette palette = TempFileList->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::ToolTipBase));
  palette.setColor(QPalette::Text, palette.color(QPalette::ToolTipText));
  TempFileList->setPalette(palette);
  layout->addWidget(TempFileList, 1);

  StatusBar = new QFrame(this);
  StatusBar->setObjectName(QStringLiteral("StatusBar"));
  StatusBar->setFixedHeight(19);
  auto* barLayout = new QHBoxLayout(StatusBar);
  barLayout->setContentsMargins(0, 0, 0, 0);
  barLayout->setSpacing(0);
  for (size_t i = 0; i < StatusBarPanels.size(); ++i) {
    QLabel* panel = new QLabel(StatusBar);
    panel->setObjectName(QStringLiteral("StatusBarPanel%1").arg(i));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setTextFormat(Qt::PlainText);
    panel->setMinimumWidth(0);
    StatusBarPanels[i] = panel;
    barLayout->addWidget(panel, i == 0 ? 1 : 0);
  }
  layout->addWidget(StatusBar);

  connect(DeleteButton, &QToolButton::clicked, this,
          [this] { RunGuarded([this] { DeleteButtonClick(); }); });
  connect(stop, &QToolButton::clicked, this, [this] { RunGuarded([this] { StopButtonClick(); }); });
  connect(CloseButton, &QToolButton::clicked, this,
          [this] { RunGuarded([this] { CloseButtonClick(); }); });
  connect(SelectAllButton, &QToolButton::clicked, this,
          [this] { RunGuarded([this] { SelectAllButtonClick(); }); });
  connect(UnselectButton, &QToolButton::clicked, this,
          [this] { RunGuarded([this] { UnselectButtonClick(); }); });
  connect(InvertSelectionButton, &QToolButton::clicked, this,
          [this] { RunGuarded([this] { InvertSelectionButtonClick(); }); });
  connect(TempFileModel, &TResultList::UserTickChanged, this,
          [this] { RunGuarded([this] { TempFileListClickCheck(); }); });
}

void TFindForm::FormCreate() {
  TempFileModel->Clear();
  frame_.SetMinimumSize(QSize(600, 111));
  StatusBarPanels[1]->setFixedWidth(kPanel1Width);
  StatusBarPanels[2]->setFixedWidth(kPanel2Width);

  Registry.SetRoot();
  Language.OpenLanguageFile(Registry);
  Registry.OpenKey(kOptionsKey, true);
  try {
    // Applied as stored, with no test against the screen; the minimum size still holds.
    const auto apply = [this](const char* name, const std::function<void(int)>& set) {
      const QString value = QString::fromLatin1(name);
      if (Registry.ValueExists(value)) set(Registry.ReadInteger(value));
    };
    apply("FindWndWidth", [this](int w) { frame_.SetWidth(w); });
    apply("FindWndHeight", [this](int h) { frame_.SetHeight(h); });
    apply("FindWndTop", [this](int top) { frame_.SetTop(top); });
    apply("FindWndLeft", [this](int left) { frame_.SetLeft(left); });
    if (Registry.ValueExists(QStringLiteral("FindWndState"))) {
      const int state = Registry.ReadInteger(QStringLiteral("FindWndState"));
      // A window closed minimized or maximized comes back normal, 600 x 250, centred.
      if (state == 1 || state == 2) {
        frame_.SetSize(QSize(600, 250));
        frame_.CentreIn(QGuiApplication::primaryScreen()->geometry());
      }
    }
  } catch (...) {
    Registry.CloseKey();
    throw;
  }
  Registry.CloseKey();
  ApplyFrame(ExpectedFrameMargins(this));
  ArrangeControls();
  ApplyLanguage();
}

void TFindForm::ApplyFrame(const QMargins& margins) {
  setMinimumSize(InnerSize(frame_.Minimum(), margins));
  // A title bar on no screen (a monitor since removed) could not be dragged back into view.
  PlaceFrame(this, FrameOnScreens(frame_.Rect(), margins), margins);
}

void TFindForm::PlaceOnShow() {
  // Placed by the stored values once; later showings keep the place the user gave it.
  if (placed_) return;
  placed_ = true;
  placement_.Place([this](const QMargins& margins) { ApplyFrame(margins); });
}

void TFindForm::ApplyLanguage() {
  setWindowTitle(Tr(Language, Txt::Find_Title));
  DeleteButton->setText(Tr(Language, Txt::Find_Delete));
  StopButton->setText(Tr(Language, Txt::Find_Stop));
  CloseButton->setText(Tr(Language, Txt::Find_Close));
  DeleteButton->setStatusTip(Tr(Language, Txt::Find_DeleteHint));
  StopButton->setStatusTip(Tr(Language, Txt::Find_StopHint));
  CloseButton->setStatusTip(Tr(Language, Txt::Find_CloseHint));
  SelectAllButton->setStatusTip(Tr(Language, Txt::Find_SelAllHint));
  UnselectButton->setStatusTip(Tr(Language, Txt::Find_UnSelHint));
  InvertSelectionButton->setStatusTip(Tr(Language, Txt::Find_InvertHint));
}

void TFindForm::ArrangeControls() {
  const int w = BGPanel->width();
  SelectAllButton->move(w - 3 * SelectAllButton->width() - 5, SelectAllButton->y());
  UnselectButton->move(w - 2 * UnselectButton->width() - 5, UnselectButton->y());
  InvertSelectionButton->move(w - InvertSelectionButton->width() - 5, InvertSelectionButton->y());
  StatusBarPanels[0]->setFixedWidth(std::max(0, width() - kPanel1Width - kPanel2Width));
}

void TFindForm::FormResize() {
  ArrangeControls();
}

void TFindForm::resizeEvent(QResizeEvent* event) {
  TModalForm::resizeEvent(event);
  // The layout has already given BGPanel the new width.
  FormResize();
}

bool TFindForm::eventFilter(QObject* watched, QEvent* event) {
  // The buttons' hints show in panel 0 of the status bar, not as tooltips.
  if (auto* widget = qobject_cast<QWidget*>(watched)) {
    if (event->type() == QEvent::Enter) StatusBarPanels[0]->setText(widget->statusTip());
    if (event->type() == QEvent::Leave) StatusBarPanels[0]->clear();
    if (event->type() == QEvent::ToolTip) return true;
  }
  return TModalForm::eventFilter(watched, event);
}

void TFindForm::showEvent(QShowEvent* event) {
  // The check is queued from the show, and events come between: the window is in its checking
  // state at once, or a close request (or Delete) then would act before the check has begun.
  if (!event->spontaneous()) EnterCheckingState();
  TModalForm::showEvent(event);
}

void TFindForm::done(int result) {
  (void)result;
  // During a check (Stopping included) and during a deletion every request to close is dropped.
  if (!CanClose || deleting_) return;
  RunGuarded([this] { FormClose(); });
}

void TFindForm::FormClose() {
  const int state = isMinimized() ? 1 : isMaximized() ? 2 : 0;
  // The frame, as the values are applied.
  const QRect frame = OuterRect(geometry(), ExpectedFrameMargins(this));
  const int w = frame.width();
  const int h = frame.height();
  const int top = frame.y();
  const int left = frame.x();
  QDialog::done(QDialog::Rejected);

  Registry.SetRoot();
  Registry.OpenKey(kOptionsKey, true);
  try {
    Registry.WriteInteger(QStringLiteral("FindWndWidth"), w);
    Registry.WriteInteger(QStringLiteral("FindWndHeight"), h);
    // Where the window cannot know its place (Wayland), the stored one stays for the next
    // session that can.
    if (WindowPositionsKnown()) {
      Registry.WriteInteger(QStringLiteral("FindWndTop"), top);
      Registry.WriteInteger(QStringLiteral("FindWndLeft"), left);
    }
    Registry.WriteInteger(QStringLiteral("FindWndState"), state);
  } catch (...) {
    Registry.CloseKey();
    throw;
  }
  Registry.CloseKey();
}

bool TFindForm::SwitchOn(const QString& name) {
  return Registry.ValueExists(name) && Registry.ReadInteger(name) == 1;
}

void TFindForm::EnterCheckingState() {
  CanClose = false;
  DeleteButton->setEnabled(false);
  CloseButton->setEnabled(false);
  SetSelectionButtons(false);
}

void TFindForm::SetSelectionButtons(bool enabled) {
  SelectAllButton->setEnabled(enabled);
  InvertSelectionButton->setEnabled(enabled);
  UnselectButton->setEnabled(enabled);
}

void TFindForm::FormActivate() {
  try {
    RunChecks();
  } catch (...) {
    EndFailedCheck();
    throw;
  }
}

void TFindForm::EndFailedCheck() {
  // The check ends where it failed; the window stays closable.
  Registry.CloseKey();
  CanClose = true;
  StopButton->setEnabled(false);
  CloseButton->setEnabled(true);
}

void TFindForm::RunChecks() {
  g_stats.Start();
  // 1. The exception list as the file holds it now.
  exceptions_.Load();
  if (OptionsForm != nullptr) SetListBoxEntries(OptionsForm->ExceptionsBox, exceptions_.Entries());
  // 2. Language.
  Registry.SetRoot();
  Language.OpenLanguageFile(Registry);
  // 3. The internet cache folder, when one is known now; otherwise the last one found. Each
  // check has a helper of its own (one left stuck by the last check is not waited for), which
  // looks at the folders too.
  helper_ = THelperClient::Start();
  const auto wait = [this](TWakeUp& wake, std::chrono::milliseconds timeout) {
    return WaitFor(wake, timeout);
  };
  if (const std::optional<QString> folder = FindCacheFolder(
          Registry, [&](const QString& path) { return UsableCacheFolder(helper_, path, wait); }))
    CacheFolder = *folder;
  // 4-9. Texts, counters, panels, progress bar, Stop, buttons.
  ApplyLanguage();
  EnterCheckingState();
  FoundCount = 0;
  StatusBarPanels[0]->clear();
  StatusBarPanels[1]->setText(FilesText(Language, 0));
  StatusBarPanels[2]->clear();
  ProgressBar->hide();
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);
  StopRequested = false;

  // 10. Each ticked drive, top to bottom.
  const QStringList masks =
      OptionsForm != nullptr ? ListBoxEntries(OptionsForm->MaskBox) : QStringList();
  ScanView view(*this);
  TScanner scanner(
      *TempFileModel, view, Language, exceptions_, masks,
      ScanSettings{ProgramCommandLine().dryRun, EventInterval, helper_, !IsHeadless()});
  Registry.OpenKey(kOptionsKey, true);
  QListWidget* drives = MainForm != nullptr ? MainForm->DriveListBox : nullptr;
  for (int row = 0; drives != nullptr && row < drives->count(); ++row) {
    const QListWidgetItem* item = drives->item(row);
    if (item->checkState() != Qt::Checked) continue;
    const QChar letter = DriveLetterOf(item->text());
    const std::string root = DriveMap::Current().RootOf(letter.toLatin1());
    // One walk serves both: the masked scan collects what the temporary folder search adds.
    // Asked before the drive only as a hint: a value that cannot be read fails where the search
    // reads it, after the drive's own warnings and findings.
    bool collect = false;
    try {
      collect = SwitchOn(QStringLiteral("CheckTemp"));
    } catch (const ERegistryException&) {
    }
    scanner.ScanDrive(root, collect);
    if (SwitchOn(QStringLiteral("CheckTemp"))) scanner.ScanTempDirectories(root);
    SetSelectionButtons(!TempFileModel->IsEmpty());
  }
  // 11. The internet cache.
  Registry.CloseKey();
  Registry.OpenKey(kOptionsKey, true);
  if (SwitchOn(QStringLiteral("CheckITemp"))) scanner.CleanInternetCache(CacheFolder);
  Registry.CloseKey();
  scanner.ShowCheckTotal();

  // 12-16. Finished.
  StatusPanel->setText(FinishedText(Language));
  StopButton->setEnabled(false);
  CloseButton->setEnabled(true);
  FoundCount = TempFileModel->Count();
  Registry.OpenKey(kOptionsKey, true);
  if (SwitchOn(QStringLiteral("AutoCheckFF"))) {
    TempFileModel->SetAllChecked(true);
    if (!TempFileModel->IsEmpty()) DeleteButton->setEnabled(true);
  }
  Registry.CloseKey();
  CanClose = true;
  g_stats.Report();
  ReportCheck();

  // 17. A run with parameters deletes, opens parameter 2 and ends.
  if (ParamCount() >= 1) {
    // Ended by a signal meanwhile, the run deletes and opens nothing.
    if (!TerminationRequested()) {
      DeleteButtonClick();
      if (!ParamStr(2).isEmpty()) ShellOpen(ParamStr(2), ParamStr(3));
    }
    if (MainForm != nullptr) MainForm->close();
  }
}

void TFindForm::ReportCheck() {
  if (IsHeadless()) {
    PrintLine(StatusCaption());
    PrintLine(StatusBarText(1));
    PrintLine(StatusBarText(2));
  }
  FlushOutput();
}

bool TFindForm::WaitFor(TWakeUp& wake, std::chrono::milliseconds timeout,
                        QEventLoop::ProcessEventsFlags flags) {
  QEventLoop loop;
  bool woken = false;  // the loop was ended by the wake-up, the timeout or Stop
  const auto end = [&loop, &woken] {
    woken = true;
    loop.quit();
  };
  QTimer timer;
  timer.setSingleShot(true);
  connect(&timer, &QTimer::timeout, &loop, end);
  // Raised on a worker thread: the loop is ended by a queued call on this one.
  wake.SetNotifier([&loop, end] { QMetaObject::invokeMethod(&loop, end, Qt::QueuedConnection); });
  TWakeUp* const outer = activeWake_;
  activeWake_ = &wake;
  timer.start(timeout);
  g_stats.Event();
  loop.exec(flags);
  g_stats.Event();
  activeWake_ = outer;
  wake.SetNotifier(nullptr);
  wake.Take();
  // Ended otherwise, the program is on its way out (every loop was told to end).
  return woken;
}

void TFindForm::StopButtonClick() {
  StopRequested = true;
  // A walk waiting for its reader goes on at once, and abandons it.
  if (activeWake_ != nullptr) activeWake_->Raise();
  StopButton->setEnabled(false);
  CloseButton->setEnabled(true);
  // The sizes as the walk measured them a moment ago: a drive that no longer answers must not
  // hold Stop up.
  StatusBarPanels[2]->setText(TotalSizeText(Language, TempFileModel->RunningTotal()));
}

void TFindForm::CloseButtonClick() {
  ClearTempFileList();
  close();
}

void TFindForm::ClearTempFileList() {
  TempFileModel->Clear();
}

void TFindForm::ShowTotalSize() {
  // Measured where the reading runs, the window live meanwhile: a drive that stops answering
  // holds up nothing here.
  const std::shared_ptr<THelperClient> helper = Helper();
  const std::optional<quint64> total = MeasureTotal(
      *TempFileModel, helper,
      [this](TWakeUp& wake, std::chrono::milliseconds timeout) { return WaitFor(wake, timeout); });
  StatusBarPanels[2]->setText(
      TotalSizeText(Language, total.value_or(TempFileModel->RunningTotal())));
  if (!total && helper->EndedUnexpectedly())
    throw EVantrelError(Tr(Language, Txt::Find_HelperEnded));
}

void TFindForm::UncheckFailedEntries() {
  TempFileModel->UncheckMarked();
}

void TFindForm::TempFileListClickCheck() {
  UncheckFailedEntries();
  // With an empty list the button keeps its state.
  if (!TempFileModel->IsEmpty()) DeleteButton->setEnabled(TempFileModel->CheckedCount() > 0);
}

void TFindForm::SelectAllButtonClick() {
  TempFileModel->SetAllChecked(true);
  TempFileListClickCheck();
  UncheckFailedEntries();
}

void TFindForm::UnselectButtonClick() {
  TempFileModel->SetAllChecked(false);
  TempFileListClickCheck();
  UncheckFailedEntries();
}

void TFindForm::InvertSelectionButtonClick() {
  TempFileModel->InvertChecks();
  TempFileListClickCheck();
  UncheckFailedEntries();
}

void TFindForm::DeleteButtonClick() {
  // Deleting handles events after each file; a second press meanwhile must not start a
  // second deletion over the same rows.
  if (deleting_) return;
  if (ProgramCommandLine().dryRun) {
    NameTickedPaths(*TempFileModel, [](std::string_view path) { WriteOutputLine(path); });
    FlushOutput();
    return;
  }
  // Read as the command runs: the options window may have changed it since the check.
  bool useTrash = ProgramCommandLine().trash;
  if (!useTrash) {
    Registry.SetRoot();
    Registry.OpenKey(kOptionsKey, true);
    try {
      useTrash = SwitchOn(QStringLiteral("UseTrash"));
    } catch (...) {
      Registry.CloseKey();
      throw;
    }
    Registry.CloseKey();
  }
  deleting_ = true;
  ProgressBar->show();
  DeletionView view(*this);
  DeletionResult result;
  const auto started = std::chrono::steady_clock::now();
  const double startedCpu = BenchStats::CpuMs();
  try {
    result = DeleteTickedEntries(*TempFileModel, view, Language, EventInterval,
                                 useTrash ? Removal::Trash : Removal::Delete, Helper());
    view.ShowProgress();
  } catch (...) {
    deleting_ = false;
    throw;
  }
  deleting_ = false;
  BenchStats::ReportDeletion(std::chrono::steady_clock::now() - started,
                             BenchStats::CpuMs() - startedCpu, result.deleted);
  TempFileList->viewport()->update();
  TempFileListClickCheck();
  ProgressBar->setValue(0);
  ProgressBar->hide();
  StatusPanel->setText(DeletedText(Language, result.deleted, FoundCount));
  FoundCount -= result.deleted;
  if (TempFileModel->IsEmpty()) DeleteButton->setEnabled(false);
  ShowTotalSize();
  StatusBarPanels[1]->setText(FilesText(Language, TempFileModel->Count()));
  if (IsHeadless()) {
    for (const QString& marked : result.marked) PrintLine(marked);
    ReportCheck();
  }
  if (result.helperFailed) throw EVantrelError(Tr(Language, Txt::Find_HelperEnded));
}

const std::shared_ptr<THelperClient>& TFindForm::Helper() {
  if (!helper_ || helper_->Gone()) helper_ = THelperClient::Start();
  return helper_;
}

QString TFindForm::StatusCaption() const {
  return StatusPanel->text();
}

QString TFindForm::StatusBarText(int panel) const {
  return StatusBarPanels[static_cast<size_t>(panel)]->text();
}
