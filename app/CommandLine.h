#pragma once

#include <QString>
#include <QStringList>

// The command line after the GNU-style options (--help, --version, --list-drives, --dry-run,
// --trash; "--" ends them) have been taken out. Parameters keep their numbering: Parameter(1) is
// the first one.
struct CommandLine {
  QStringList parameters;
  bool help = false;
  bool version = false;
  bool listDrives = false;
  bool dryRun = false;
  bool trash = false;     // the Delete command moves files to the trash, whatever UseTrash says
  QString unknownOption;  // the first option not understood, if any
};

// Splits the arguments (argv without the program name).
CommandLine ParseCommandLine(const QStringList& arguments);

// The process's command line, set once by the entry.
const CommandLine& ProgramCommandLine();
void SetProgramCommandLine(const CommandLine& commandLine);

// ParamStr: parameter n (1-based) or empty; ParamCount: how many there are.
QString ParamStr(int n);
int ParamCount();

// Whether a parameter is one of the drive switches (/dall, /dhard, /dram, /dremovable, /dremote,
// or /d and a letter), compared after turning A-Z into a-z.
bool IsDriveSwitch(const QString& parameter);

// True when the program runs without a display (no DISPLAY or WAYLAND_DISPLAY, or
// QT_QPA_PLATFORM offscreen or minimal): message boxes go to standard error, results to
// standard output, nobody is waited for.
bool IsHeadless();
void SetHeadless(bool headless);

// The usage text printed by --help and by a headless run without a drive switch.
QString UsageText();
