#include "app/Application.h"

#include <unistd.h>

#include <QApplication>
#include <cstdio>

#include "about/AboutBox.h"
#include "app/CommandLine.h"
#include "app/DriveListing.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "platform/DriveMap.h"
#include "platform/GuiHandlers.h"
#include "platform/HomeFolder.h"
#include "platform/MessageBox.h"
#include "platform/Termination.h"
#include "scan/FindForm.h"
#include "scan/HelperClient.h"
#include "settings/AddExceptionForm.h"
#include "settings/AddMaskForm.h"
#include "settings/OptionsForm.h"

namespace {

void Print(FILE* stream, const QString& text) {
  const QByteArray bytes = text.toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
  std::fflush(stream);
}

bool RunsWithoutDisplay() {
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  if (platform.startsWith("offscreen") || platform.startsWith("minimal")) return true;
  return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// Without a display nobody can answer a box: each is printed and answered at once, and a
// failure ends an unattended run with status 1 instead of leaving it open.
bool g_failed = false;

// Without a display, standard error carries the program's own boxes only: Qt's notes about the
// offscreen platform (size hints, runtime directory) would read like failures in a cron mail.
void QuietQtNotes(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) Print(stderr, message + u'\n');
}

// A display that is named but cannot be reached fails the run (status 1) instead of aborting it:
// Qt gives up from its message handler when no window system comes up.
QtMessageHandler g_qtHandler = nullptr;
void FailOnFatal(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (g_qtHandler != nullptr) g_qtHandler(type, context, message);
  if (type == QtFatalMsg) {
    std::fflush(nullptr);
    ::_exit(1);
  }
}

void InstallHeadlessMessageBoxes() {
  SetMessageBoxHandler([](const MessageBoxCall& call) {
    Print(stderr, call.title + QStringLiteral(": ") + call.text + u'\n');
    if (call.icon == MessageIcon::Critical) {
      g_failed = true;
      QCoreApplication::exit(1);
    }
  });
}

}  // namespace

void CreateForms() {
  MainForm = new TMainForm();
  FindForm = new TFindForm();
  AboutBox = new TAboutBox();
  OptionsForm = new TOptionsForm();
  AddMaskForm = new TAddMaskForm();
  AddExceptionForm = new TAddExceptionForm();
}

void DestroyForms() {
  delete AddExceptionForm;
  delete AddMaskForm;
  delete OptionsForm;
  delete AboutBox;
  delete FindForm;
  delete MainForm;
  AddExceptionForm = nullptr;
  AddMaskForm = nullptr;
  OptionsForm = nullptr;
  AboutBox = nullptr;
  FindForm = nullptr;
  MainForm = nullptr;
}

int RunProgram(int argc, char** argv) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
  const CommandLine commandLine = ParseCommandLine(arguments);
  if (!commandLine.unknownOption.isEmpty()) {
    Print(stderr, QStringLiteral("vantrel: unknown option %1\n").arg(commandLine.unknownOption) +
                      UsageText());
    return 2;
  }
  if (commandLine.help) {
    Print(stdout, UsageText());
    return 0;
  }
  if (commandLine.version) {
    Print(stdout, QStringLiteral("Vantrel " VANTREL_VERSION "\n"));
    return 0;
  }
  if (commandLine.listDrives) {
    const DriveListing listing = ListDrives();
    Print(stdout, listing.out);
    Print(stderr, listing.err);
    return listing.status;
  }
  SetProgramCommandLine(commandLine);
  FillMissingHome();

  const bool headless = RunsWithoutDisplay();
  SetHeadless(headless);
  if (headless) qInstallMessageHandler(QuietQtNotes);
  if (headless && !qgetenv("QT_QPA_PLATFORM").startsWith("minimal"))
    qputenv("QT_QPA_PLATFORM", "offscreen");

  // A mistyped drive map would make an unattended run check nothing and report success.
  if (DrivesOverrideMalformed() && (headless || IsDriveSwitch(ParamStr(1)))) {
    Print(stderr,
          QStringLiteral("vantrel: VANTREL_DRIVES cannot be parsed (the form is "
                         "C=fixed:/srv/data;E=removable:/media/stick); nothing is checked\n"));
    return 1;
  }

  // A drive switch checks as soon as the windows are up: its helper starts alongside them.
  if (IsDriveSwitch(ParamStr(1))) PrestartHelper();
  g_qtHandler = qInstallMessageHandler(FailOnFatal);
  QApplication app(argc, argv);
  qInstallMessageHandler(g_qtHandler);
  EndOnTerminationSignals();
  QCoreApplication::setApplicationName(QStringLiteral("Vantrel"));
  if (headless) {
    InstallHeadlessMessageBoxes();
  } else {
    InstallGuiMessageBoxes();
    InstallDesktopShellOpen();
  }

  CreateForms();
  // A failure while a window is made (a stored value of the wrong kind) has shown its box, and
  // start-up goes on: one bad value must not end every later unattended cleaning. The status
  // tells what happens from here on, unless the failure kept the switch from taking effect.
  const bool startupFailed = g_failed;
  g_failed = false;
  int status = 0;
  if (headless && !MainForm->AutoStart()) {
    if (startupFailed && IsDriveSwitch(ParamStr(1))) {
      status = 1;
    } else {
      Print(stdout, UsageText());
      status = 2;
    }
  } else if (!TerminationRequested()) {
    // A signal taken while a start-up box waited has ended that box's loop; exec() would forget
    // it and run on.
    MainForm->show();
    status = app.exec();
  }
  DestroyForms();
  return g_failed || TerminationRequested() ? 1 : status;
}
